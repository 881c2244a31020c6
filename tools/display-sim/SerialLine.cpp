#include "SerialLine.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Interrupts the watcher's TIOCMIWAIT when the line closes; the handler does
// nothing, the EINTR is the point.
constexpr int WakeSignal = SIGUSR2;

void ignoreWake(int) {}

void installWakeHandler()
{
    struct sigaction action = {};
    action.sa_handler = ignoreWake;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the blocked ioctl must return
    sigaction(WakeSignal, &action, nullptr);
}

QString systemError(int error)
{
    return QStringLiteral("%1 (Error %2)")
        .arg(QString::fromLocal8Bit(std::strerror(error)))
        .arg(error);
}

bool readCts(int fd, bool &high)
{
    int lines = 0;
    if (ioctl(fd, TIOCMGET, &lines) != 0)
        return false;
    high = (lines & TIOCM_CTS) != 0;
    return true;
}

} // namespace

SerialLine::SerialLine(QObject *parent) : QObject(parent) {}

SerialLine::~SerialLine()
{
    stopWatching();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SerialLine::open(const QString &path)
{
    m_path = path;
    m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = systemError(errno);
        return false;
    }
    termios settings = {};
    if (tcgetattr(m_fd, &settings) != 0) {
        m_error = QStringLiteral("not a serial device: ") + systemError(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    // The display's own line: 300 baud, 8 data bits, no parity, 2 stop bits.
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | CRTSCTS);
    settings.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetspeed(&settings, B300);
    if (tcsetattr(m_fd, TCSANOW, &settings) != 0) {
        m_error = QStringLiteral("cannot set 300 baud 8N2: ") + systemError(errno);
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SerialLine::readDevice);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SerialLine::writePending);

    bool high = false;
    if (readCts(m_fd, high)) {
        m_cts = high;
        installWakeHandler();
        m_watcher = std::thread([this] { watchCts(); });
    } else {
        emit note(QStringLiteral("serial: %1 has no modem lines (%2); the PC's RTS cannot be seen")
                      .arg(path, systemError(errno)));
    }
    return true;
}

void SerialLine::sendData(const QByteArray &bytes)
{
    if (m_fd < 0)
        return;
    m_pending += bytes;
    writePending();
}

void SerialLine::writePending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t written = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (written > 0) {
            m_pending.remove(0, written);
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN)
            break;
        shutDown(QStringLiteral("write failed: ") + systemError(errno));
        return;
    }
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

void SerialLine::readDevice()
{
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count > 0) {
            emit dataReceived(QByteArray(buffer, int(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno == EAGAIN)
            return;
        // Raw reads that return at once give 0 both for "nothing more" and
        // after a hang-up; only the hang-up shows in poll(2).
        if (count == 0) {
            pollfd descriptor{m_fd, POLLIN, 0};
            if (::poll(&descriptor, 1, 0) <= 0 || !(descriptor.revents & (POLLHUP | POLLERR)))
                return;
        }
        // 0 after a hang-up, or EIO: the device hung up or was unplugged.
        shutDown(count == 0 ? QStringLiteral("the device hung up")
                            : QStringLiteral("read failed: ") + systemError(errno));
        return;
    }
}

// Runs on the watcher thread: only the descriptor and the atomics are touched
// here; levels reach the object on its own thread.
void SerialLine::watchCts()
{
    bool canWait = true;
    bool last = m_cts;
    while (!m_stop.load()) {
        if (canWait && ioctl(m_fd, TIOCMIWAIT, TIOCM_CTS) != 0) {
            if (errno == EINTR)
                continue;
            if (errno == EIO)
                break;
            canWait = false; // the driver cannot wait for line changes: sample instead
        }
        if (!canWait)
            usleep(5000);
        bool high = false;
        if (!readCts(m_fd, high))
            break;
        if (high != last) {
            last = high;
            QMetaObject::invokeMethod(
                this, [this, high] { ctsSeen(high); }, Qt::QueuedConnection);
        }
    }
    m_watcherDone.store(true);
}

void SerialLine::ctsSeen(bool high)
{
    if (high == m_cts || m_fd < 0)
        return;
    m_cts = high;
    emit rtsChanged(high);
}

void SerialLine::stopWatching()
{
    if (!m_watcher.joinable())
        return;
    m_stop.store(true);
    // A wake-up sent just before the thread enters the ioctl would be lost, so
    // it is repeated until the thread has left its loop.
    while (!m_watcherDone.load()) {
        pthread_kill(m_watcher.native_handle(), WakeSignal);
        usleep(2000);
    }
    m_watcher.join();
}

void SerialLine::shutDown(const QString &reason)
{
    if (m_fd < 0)
        return;
    stopWatching();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
    m_pending.clear();
    emit closed(reason);
}
