#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the main thread, so that a
// program ends through its normal path (the window closes and writes its
// state file, the simulator leaves its event loop) instead of being killed
// half-way. A signal that the process inherited as ignored (a background job
// of a shell without job control ignores SIGINT) stays ignored, as the user
// who started it that way expects; the destructor restores the actions found
// at construction. Only one instance may exist at a time.
//
// On Windows the console's control events stand for the signals: Ctrl+C is
// SIGINT; Ctrl+Break, closing the console window, logoff and shutdown are
// SIGTERM. Windows ends the process as soon as the handler of the last three
// returns, so that handler waits (at most CloseWaitMs) for the main thread to
// finish its clean exit. Ctrl+C that the process inherited as ignored (a
// process group started with CREATE_NEW_PROCESS_GROUP) never reaches the
// handler, so it stays ignored there too.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the signal handlers could not be installed; errorString says why.
    bool isActive() const { return m_active; }
    QString errorString() const { return m_error; }

#ifdef Q_OS_WIN
    // How long the console's close, logoff and shutdown events are held back
    // for the program to end by itself; Windows itself waits about 5 s.
    static constexpr int CloseWaitMs = 4500;

    // The console control handler: takes a CTRL_*_EVENT code on whatever
    // thread the console calls it, and returns whether it was handled. Public
    // so tests can play the console's part.
    static int handleControlEvent(unsigned long controlType);
#endif

signals:
    void received(int signalNumber);

private:
    QString m_error;
    bool m_active = false;
#ifdef Q_OS_WIN
    void deliver(int signalNumber);
#else
    void readSignal();
    static void handleSignal(int signalNumber);
    void takeOver(int signalNumber, struct sigaction &previous);

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
#endif
};
