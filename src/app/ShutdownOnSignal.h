#pragma once

#include "TerminationSignals.h"

#include <QObject>
#include <QTimer>
#include <functional>

class TForm1;

// Ends the program when its session ends (SIGTERM, SIGINT; on Windows also
// logoff and shutdown, through Qt's session management): the window closes
// as its close button would, without any box, the state file is written and
// the event loop ends with status 0, whatever box or wait was open. Should
// something unforeseen keep a nested loop running, a backstop writes the state
// file and ends the process shortly after the signal; a second signal ends it
// at once the same way. It does not decide what the window saves, nor handle
// any other signal.
class ShutdownOnSignal : public QObject
{
    Q_OBJECT

public:
    // How long the window may take to close after the first signal.
    static constexpr int BackstopMs = 1500;

    // `exitProcess` ends the process without returning (default: `_exit(0)`);
    // tests pass one of their own.
    explicit ShutdownOnSignal(TForm1 &form, std::function<void()> exitProcess = {},
                              QObject *parent = nullptr);

    // False when the signal handlers could not be installed; errorString says why.
    bool isActive() const { return m_signals.isActive(); }
    QString errorString() const { return m_signals.errorString(); }

private:
    void endSession();
    void quitWhenClosed();
    void backstop();
#ifdef Q_OS_WIN
    void endWindowsSession();
#endif

    TForm1 &m_form;
    TerminationSignals m_signals;
    QTimer m_backstop;
    std::function<void()> m_exitProcess;
    bool m_ending = false;
};
