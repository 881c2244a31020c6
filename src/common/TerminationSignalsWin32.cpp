#include "TerminationSignals.h"

#include <QMetaObject>
#include <mutex>
#include <windows.h>

namespace {

// The console calls the handler on a thread of its own; the instance it posts
// to is reached under this lock, so the destructor cannot pull it away midway.
std::mutex g_lock;
TerminationSignals *g_instance = nullptr;

BOOL WINAPI consoleHandler(DWORD controlType)
{
    return TerminationSignals::handleControlEvent(controlType) ? TRUE : FALSE;
}

QString lastErrorText()
{
    const DWORD error = GetLastError();
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString result =
        text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(error);
    LocalFree(text);
    return result;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    {
        const std::lock_guard<std::mutex> lock(g_lock);
        g_instance = this;
    }
    if (!SetConsoleCtrlHandler(consoleHandler, TRUE)) {
        m_error = lastErrorText();
        const std::lock_guard<std::mutex> lock(g_lock);
        g_instance = nullptr;
        return;
    }
    m_active = true;
}

TerminationSignals::~TerminationSignals()
{
    if (m_active)
        SetConsoleCtrlHandler(consoleHandler, FALSE);
    const std::lock_guard<std::mutex> lock(g_lock);
    if (g_instance == this)
        g_instance = nullptr;
}

int TerminationSignals::handleControlEvent(unsigned long controlType)
{
    int signalNumber = 0;
    switch (controlType) {
    case CTRL_C_EVENT:
        signalNumber = SIGINT;
        break;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        signalNumber = SIGTERM;
        break;
    default:
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(g_lock);
        if (!g_instance)
            return false;
        QMetaObject::invokeMethod(
            g_instance, [instance = g_instance, signalNumber] { instance->deliver(signalNumber); },
            Qt::QueuedConnection);
    }
    // Returning from these ends the process at once. Waiting here lets the
    // main thread finish: its exit ends this thread too, with the program's
    // own exit status. Should it take too long, Windows has its way.
    if (controlType == CTRL_CLOSE_EVENT || controlType == CTRL_LOGOFF_EVENT ||
        controlType == CTRL_SHUTDOWN_EVENT)
        Sleep(CloseWaitMs);
    return true;
}

void TerminationSignals::deliver(int signalNumber)
{
    emit received(signalNumber);
}
