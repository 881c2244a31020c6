#pragma once

#include "DisplaySimOptions.h"

#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// The simulated display in-process, on a thread of its own with its own event
// loop: opening an RFC 2217 port waits on the caller's thread for the
// server's answers, so the server must not need that thread. Its log lines
// reach the test through a locked list; nothing else is shared.
class SimulatorThread
{
public:
    explicit SimulatorThread(const DisplaySimOptions &options);
    ~SimulatorThread();
    SimulatorThread(const SimulatorThread &) = delete;
    SimulatorThread &operator=(const SimulatorThread &) = delete;

    bool isListening() const { return m_port != 0; }
    // rfc2217://127.0.0.1:PORT
    QString address() const;
    QStringList log() const;
    // Waits, serving the caller's events, until a log line starts with `start`.
    bool waitForLine(const QString &start, int timeoutMs = 3000) const;

private:
    void run(DisplaySimOptions options);

    mutable std::mutex m_mutex;
    std::condition_variable m_started;
    bool m_ready = false;
    quint16 m_port = 0;
    QStringList m_log;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
