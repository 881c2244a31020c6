#pragma once

#include "DisplaySimOptions.h"
#include "LineSettings.h"

#include <QStringList>
#include <QThread>
#include <functional>
#include <mutex>

class DisplaySimulator;

// The simulated display on a thread of its own, as a display server on the
// network would be: opening a port waits for the server's answers on the test
// thread, so the server cannot share that thread's event loop.
//
// Everything crosses between the threads through this class's own lock, which
// ThreadSanitizer can see.
class SimulatorThread
{
public:
    explicit SimulatorThread(const DisplaySimOptions &options);
    ~SimulatorThread();

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    QString address() const;

    // The simulator as it is now, read on its own thread.
    LineSettings lineSettings();
    bool rts();
    bool hasClient();
    QByteArray settingsRecord();
    QStringList log() const;

    // Ends the simulator with its connection, as a server that is switched off.
    void stop();

private:
    void runThere(const std::function<void()> &call);

    QThread m_thread;
    QObject *m_context;
    DisplaySimulator *m_simulator = nullptr;
    quint16 m_port = 0;
    mutable std::mutex m_mutex;
    QStringList m_log;
};
