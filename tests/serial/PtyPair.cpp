#include "PtyPair.h"

#include <QElapsedTimer>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return;
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        closeMaster();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
}

int PtyPair::slaveNumber() const
{
    return m_slavePath.mid(m_slavePath.lastIndexOf(QLatin1Char('/')) + 1).toInt();
}

termios PtyPair::settings() const
{
    termios result{};
    tcgetattr(m_master, &result);
    return result;
}

void PtyPair::setSpeed(speed_t speed)
{
    termios current = settings();
    cfsetspeed(&current, speed);
    tcsetattr(m_master, TCSANOW, &current);
}

void PtyPair::send(const QByteArray &bytes)
{
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + sent, size_t(bytes.size() - sent));
        if (n > 0) {
            sent += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd descriptor{m_master, POLLOUT, 0};
            ::poll(&descriptor, 1, 100);
        } else {
            return;
        }
    }
}

QByteArray PtyPair::receive(int count, int timeoutMs)
{
    QByteArray result;
    QElapsedTimer timer;
    timer.start();
    while (result.size() < count && timer.elapsed() < timeoutMs) {
        pollfd descriptor{m_master, POLLIN, 0};
        if (::poll(&descriptor, 1, 20) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0)
            result.append(chunk, n);
        else if (n < 0 && errno != EAGAIN)
            break;
    }
    return result;
}

QByteArray PtyPair::drain(int quietMs)
{
    QByteArray result;
    for (;;) {
        const QByteArray more = receive(1 << 20, quietMs);
        if (more.isEmpty())
            return result;
        result += more;
    }
}

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
