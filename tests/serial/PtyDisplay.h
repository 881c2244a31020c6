#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <atomic>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>

// A display played by the test on the master side of a pseudo-terminal: the
// program opens the slave side as its serial port. Everything the program
// writes is collected in `received`; `onData` may answer at once. A pty has
// no RTS line, so the test answers the connect on its own schedule.
class PtyDisplay : public QObject
{
public:
    PtyDisplay()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // Holding the slave open keeps the master from seeing a hang-up while
        // the program has the port closed.
        m_slaveHold = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &PtyDisplay::drain);
    }
    ~PtyDisplay() override
    {
        stopFlood();
        unplug();
        if (m_slaveHold >= 0)
            ::close(m_slaveHold);
    }

    bool isValid() const { return m_master >= 0 && m_slaveHold >= 0; }
    QString slavePath() const { return m_slavePath; }

    void send(const QByteArray &bytes)
    {
        if (m_master >= 0) [[maybe_unused]]
            const ssize_t n = ::write(m_master, bytes.constData(), bytes.size());
    }

    // A display gone wild: `pattern` again and again, as fast as the line
    // takes it, from a thread of its own, until stopFlood().
    void startFlood(const QByteArray &pattern)
    {
        stopFlood();
        m_flooding = true;
        m_flood = std::thread([this, pattern] {
            const QByteArray chunk = pattern.repeated(qMax<qsizetype>(1, 1024 / pattern.size()));
            while (m_flooding.load()) {
                pollfd writable{m_master, POLLOUT, 0};
                if (::poll(&writable, 1, 50) > 0) [[maybe_unused]]
                    const ssize_t n = ::write(m_master, chunk.constData(), size_t(chunk.size()));
            }
        });
    }
    void stopFlood()
    {
        m_flooding = false;
        if (m_flood.joinable())
            m_flood.join();
    }

    // The adapter goes away: the program's reads fail from now on.
    void unplug()
    {
        stopFlood();
        if (m_master < 0)
            return;
        delete m_notifier;
        m_notifier = nullptr;
        ::close(m_master);
        m_master = -1;
    }

    QByteArray received;
    std::function<void(const QByteArray &)> onData;

private:
    void drain()
    {
        char buffer[256];
        ssize_t n;
        while ((n = ::read(m_master, buffer, sizeof buffer)) > 0) {
            const QByteArray data(buffer, n);
            received += data;
            if (onData)
                onData(data);
        }
    }

    int m_master = -1;
    int m_slaveHold = -1;
    QString m_slavePath;
    QSocketNotifier *m_notifier = nullptr;
    std::atomic<bool> m_flooding{false};
    std::thread m_flood;
};
