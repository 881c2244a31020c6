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
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the signal handlers could not be installed; errorString says why.
    bool isActive() const { return m_notifier != nullptr; }
    QString errorString() const { return m_error; }

signals:
    void received(int signalNumber);

private:
    void readSignal();
    static void handleSignal(int signalNumber);

    void takeOver(int signalNumber, struct sigaction &previous);

    QSocketNotifier *m_notifier = nullptr;
    QString m_error;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
};
