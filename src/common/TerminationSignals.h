#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the main thread, so that a
// program ends through its normal path (the window closes and writes its
// state file, the simulator leaves its event loop) instead of being killed
// half-way. Only one instance may exist at a time.
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

    QSocketNotifier *m_notifier = nullptr;
    QString m_error;
};
