#include "ShutdownOnSignal.h"

#include "TForm1.h"

#include <QCoreApplication>
#include <cstdio>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <QGuiApplication>
#include <QSessionManager>
#endif

ShutdownOnSignal::ShutdownOnSignal(TForm1 &form, std::function<void()> exitProcess, QObject *parent)
    : QObject(parent), m_form(form), m_exitProcess(std::move(exitProcess))
{
    if (!m_exitProcess)
        m_exitProcess = [] {
            std::fflush(nullptr);
            ::_exit(0);
        };
    m_backstop.setSingleShot(true);
    m_backstop.setInterval(BackstopMs);
    connect(&m_backstop, &QTimer::timeout, this, &ShutdownOnSignal::backstop);
    connect(&m_signals, &TerminationSignals::received, this, &ShutdownOnSignal::endSession);
    connect(&form, &TForm1::closed, this, &ShutdownOnSignal::quitWhenClosed);
#ifdef Q_OS_WIN
    // Logoff and shutdown reach a window as WM_QUERYENDSESSION, which Qt turns
    // into a request to commit the session's data.
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager &) { endWindowsSession(); });
#endif
}

#ifdef Q_OS_WIN
// Windows may end the process as soon as the WM_QUERYENDSESSION handler
// returns and WM_ENDSESSION has been seen, without running the event loop
// again: the window closes now, and the state file is on disk before the
// handler returns, whatever loop the close still has to unwind.
void ShutdownOnSignal::endWindowsSession()
{
    endSession();
    m_form.saveStateBeforeExit();
}
#endif

void ShutdownOnSignal::endSession()
{
    if (m_ending) {
        // Asked again: the user or the session will not wait any longer.
        backstop();
        return;
    }
    m_ending = true;
    m_backstop.start();
    if (m_form.isClosed())
        quitWhenClosed();
    else
        m_form.closeOnTermination();
}

void ShutdownOnSignal::quitWhenClosed()
{
    // Whatever windows or loops are left, the session is over: every running
    // event loop returns, the outermost with status 0.
    if (m_ending)
        QCoreApplication::exit(0);
}

void ShutdownOnSignal::backstop()
{
    m_backstop.stop();
    m_form.saveStateBeforeExit();
    m_exitProcess();
}
