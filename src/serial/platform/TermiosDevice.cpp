#include "TermiosDevice.h"

#include "OsError.h"
#include "PortOpenDiagnosis.h"
#include "TermiosSpeed.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

// Restores errno when cleaning up after a failure, so the caller sees the cause.
class ErrnoKeeper
{
public:
    ErrnoKeeper() : m_saved(errno) {}
    ~ErrnoKeeper() { errno = m_saved; }

private:
    int m_saved;
};

// A device without modem lines (a pseudo-terminal) answers these.
bool isMissingLine(int error)
{
    return error == ENOTTY || error == EINVAL;
}

bool isRemovalError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

speed_t standardSpeed(quint32 bitsPerSecond)
{
    switch (bitsPerSecond) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return B0;
    }
}

// Raw transfer: no line editing, echo, signals or character translation, and
// reads that return at once with what has arrived. Speed, character format and
// flow control are left to the line settings.
void makeRaw(termios &settings)
{
    settings.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
    settings.c_oflag &= ~OPOST;
    settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

bool applyCharacterFormat(termios &settings, const LineSettings &line)
{
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    switch (line.byteSize) {
    case 5:
        settings.c_cflag |= CS5;
        break;
    case 6:
        settings.c_cflag |= CS6;
        break;
    case 7:
        settings.c_cflag |= CS7;
        break;
    case 8:
        settings.c_cflag |= CS8;
        break;
    default:
        errno = EINVAL;
        return false;
    }
    switch (line.parity) {
    case 0:
        break;
    case 1:
        settings.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        settings.c_cflag |= PARENB;
        break;
    case 3:
        settings.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        settings.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        errno = EINVAL;
        return false;
    }
    switch (line.stopBits) {
    case 0:
        break;
    case 1: // One and a half stop bits: the UART gives them with 5 data bits and CSTOPB.
    case 2:
        settings.c_cflag |= CSTOPB;
        break;
    default:
        errno = EINVAL;
        return false;
    }
    return true;
}

void applyFlowControl(termios &settings, const LineSettings &line)
{
    settings.c_cflag &= ~CRTSCTS;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    const bool rtsHandshake = (line.flags & LineFlag::RtsControlMask) == LineFlag::RtsHandshake;
    if ((line.flags & LineFlag::OutCtsFlow) || rtsHandshake)
        settings.c_cflag |= CRTSCTS;
    if (line.flags & LineFlag::OutX)
        settings.c_iflag |= IXON;
    if (line.flags & LineFlag::InX)
        settings.c_iflag |= IXOFF;
    if (line.flags & LineFlag::ParityCheck)
        settings.c_iflag |= INPCK;
    settings.c_cc[VSTART] = static_cast<cc_t>(line.xonChar);
    settings.c_cc[VSTOP] = static_cast<cc_t>(line.xoffChar);
}

quint8 byteSizeOf(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

quint8 parityOf(tcflag_t cflag)
{
    if (!(cflag & PARENB))
        return 0;
    if (cflag & CMSPAR)
        return (cflag & PARODD) ? 3 : 4;
    return (cflag & PARODD) ? 1 : 2;
}

} // namespace

std::unique_ptr<CommDevice> TermiosDevice::open(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto fail = [fd](int error) {
        ::close(fd);
        errno = error;
        return nullptr;
    };
    termios settings{};
    if (tcgetattr(fd, &settings) != 0)
        return fail(errno);
    // Another program holding the port gets EWOULDBLOCK here; busy says it better.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    // Terminal programs such as minicom take no lock, and TIOCEXCL keeps out
    // only those that come later: a program that has the port open already
    // is found among the open descriptors in /proc, and the port is busy as
    // on Windows. Looking after our own open (before TIOCEXCL and before any
    // setting changes) leaves no gap for a program that opens meanwhile.
    if (!PortOpenDiagnosis::otherHolders(fd).isEmpty())
        return fail(EBUSY);
    if (ioctl(fd, TIOCEXCL) != 0)
        return fail(errno);
    makeRaw(settings);
    if (tcsetattr(fd, TCSANOW, &settings) != 0)
        return fail(errno);
    return std::unique_ptr<CommDevice>(new TermiosDevice(fd, path));
}

TermiosDevice::TermiosDevice(int fd, const QString &path) : m_fd(fd), m_path(path)
{
    int bits = 0;
    m_hasModemLines = ioctl(m_fd, TIOCMGET, &bits) == 0;
    m_lastModemBits = bits;
    if (ioctl(m_fd, TIOCGICOUNT, &m_errorBaseline) == 0)
        m_eventBaseline = m_errorBaseline;
}

TermiosDevice::~TermiosDevice()
{
    if (!removed()) {
        waitForOutputToDrain();
        ioctl(m_fd, TIOCNXCL);
    }
    ::close(m_fd);
}

// Closing a tty with output still queued blocks until it is sent, up to the
// driver's closing wait of many seconds. Give the line a moment, then drop
// the rest, so a stalled line cannot hang the close.
void TermiosDevice::waitForOutputToDrain()
{
    using namespace std::chrono_literals;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int queued = 0;
        if (ioctl(m_fd, TIOCOUTQ, &queued) != 0 || queued == 0)
            return;
        std::this_thread::sleep_for(10ms);
    }
    tcflush(m_fd, TCOFLUSH);
}

bool TermiosDevice::readLineSettings(LineSettings &line)
{
    termios settings{};
    if (tcgetattr(m_fd, &settings) != 0)
        return false;
    line.baudRate = TermiosSpeed::read(m_fd);
    line.byteSize = byteSizeOf(settings.c_cflag);
    line.parity = parityOf(settings.c_cflag);
    line.stopBits = (settings.c_cflag & CSTOPB) ? 2 : 0;
    line.xonChar = static_cast<char>(settings.c_cc[VSTART]);
    line.xoffChar = static_cast<char>(settings.c_cc[VSTOP]);
    return true;
}

bool TermiosDevice::writeLineSettings(const LineSettings &line)
{
    if (line.baudRate == 0) {
        errno = EINVAL;
        return false;
    }
    termios settings{};
    if (tcgetattr(m_fd, &settings) != 0)
        return false;
    if (!applyCharacterFormat(settings, line))
        return false;
    applyFlowControl(settings, line);
    const speed_t speed = standardSpeed(line.baudRate);
    if (speed != B0)
        cfsetspeed(&settings, speed);
    if (tcsetattr(m_fd, TCSANOW, &settings) != 0)
        return false;
    if (speed == B0 && !TermiosSpeed::setArbitrary(m_fd, line.baudRate))
        return false;

    // A line is driven only when its control mode changes (the first write
    // sets it): rewriting the same settings keeps the level SetRts chose.
    const quint32 dtr = line.flags & LineFlag::DtrControlMask;
    if (dtr != m_dtrControl) {
        if (!setModemLine(TIOCM_DTR, dtr != 0))
            return false;
        m_dtrControl = dtr;
    }
    const quint32 rts = line.flags & LineFlag::RtsControlMask;
    if (rts != m_rtsControl) {
        if (rts != LineFlag::RtsHandshake && !setModemLine(TIOCM_RTS, rts == LineFlag::RtsEnable))
            return false;
        m_rtsControl = rts;
    }
    return true;
}

bool TermiosDevice::setModemLine(int line, bool high)
{
    if (ioctl(m_fd, high ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return isMissingLine(errno);
}

bool TermiosDevice::setQueueSizes(int, int)
{
    // The kernel sizes its tty buffers itself.
    return true;
}

bool TermiosDevice::setImmediateReads()
{
    termios settings{};
    if (tcgetattr(m_fd, &settings) != 0)
        return false;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    return tcsetattr(m_fd, TCSANOW, &settings) == 0;
}

bool TermiosDevice::setEventMask(quint32)
{
    // The event thread decides what to wait for from the mask it is given.
    return true;
}

int TermiosDevice::read(char *buffer, int max)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    const ssize_t got = ::read(m_fd, buffer, static_cast<size_t>(max));
    if (got > 0)
        return static_cast<int>(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // Reads that return at once give 0 both for "nothing yet" and after a
    // hang-up; only the hang-up shows in poll(2).
    if (got == 0 && !hungUp())
        return 0;
    if (got == 0 || isRemovalError(errno)) {
        markRemoved(got == 0 ? 0 : errno);
        errno = EIO;
    }
    return -1;
}

int TermiosDevice::write(const char *buffer, int count)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    const ssize_t written = ::write(m_fd, buffer, static_cast<size_t>(count));
    if (written >= 0)
        return static_cast<int>(written);
    if (errno == EAGAIN || errno == EINTR)
        return 0;
    if (isRemovalError(errno)) {
        const ErrnoKeeper keep;
        markRemoved(errno);
    }
    return -1;
}

bool TermiosDevice::hungUp() const
{
    pollfd descriptor{m_fd, POLLIN, 0};
    return ::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR)) != 0;
}

void TermiosDevice::markRemoved(int error)
{
    if (m_removed.load())
        return;
    m_removalError = error;
    if (!m_removed.exchange(true))
        m_removalUnreported = true;
}

QString TermiosDevice::removalCause() const
{
    if (!removed())
        return {};
    const int error = m_removalError.load();
    if (error == 0)
        return QStringLiteral("%1 hung up (unplugged, or its other end closed)").arg(m_path);
    return QStringLiteral("%1 failed (Error %2, %3)").arg(m_path).arg(error).arg(OsError::text(error));
}

bool TermiosDevice::escape(CommFunction function)
{
    switch (function) {
    case CommFunction::SetRts:
        return setModemLine(TIOCM_RTS, true);
    case CommFunction::ClearRts:
        return setModemLine(TIOCM_RTS, false);
    case CommFunction::ResetDevice:
        return tcflush(m_fd, TCIOFLUSH) == 0;
    }
    errno = EINVAL;
    return false;
}

bool TermiosDevice::clearErrors(quint32 &errors, CommStatus &status)
{
    errors = 0;
    status = CommStatus{};
    if (m_removalUnreported.exchange(false))
        errors |= CommError::DeviceIo;
    if (removed())
        return true;

    int waiting = 0;
    if (ioctl(m_fd, FIONREAD, &waiting) != 0)
        return false;
    status.inQueue = static_cast<quint32>(waiting);
    int queued = 0;
    if (ioctl(m_fd, TIOCOUTQ, &queued) == 0)
        status.outQueue = static_cast<quint32>(queued);

    serial_icounter_struct now{};
    if (ioctl(m_fd, TIOCGICOUNT, &now) == 0) {
        if (now.frame != m_errorBaseline.frame)
            errors |= CommError::Frame;
        if (now.overrun != m_errorBaseline.overrun)
            errors |= CommError::Overrun;
        if (now.parity != m_errorBaseline.parity)
            errors |= CommError::RxParity;
        if (now.brk != m_errorBaseline.brk)
            errors |= CommError::Break;
        if (now.buf_overrun != m_errorBaseline.buf_overrun)
            errors |= CommError::RxOver;
        m_errorBaseline = now;
    }
    return true;
}

quint32 TermiosDevice::sampleLineEvents()
{
    if (!m_hasModemLines || removed())
        return 0;
    quint32 events = 0;
    serial_icounter_struct now{};
    if (ioctl(m_fd, TIOCGICOUNT, &now) == 0) {
        const auto &was = m_eventBaseline;
        if (now.cts != was.cts)
            events |= CommEvent::Cts;
        if (now.dsr != was.dsr)
            events |= CommEvent::Dsr;
        if (now.dcd != was.dcd)
            events |= CommEvent::Rlsd;
        if (now.rng != was.rng)
            events |= CommEvent::Ring;
        if (now.brk != was.brk)
            events |= CommEvent::Break;
        if (now.frame != was.frame || now.overrun != was.overrun || now.parity != was.parity ||
            now.buf_overrun != was.buf_overrun)
            events |= CommEvent::Error;
        m_eventBaseline = now;
        return events;
    }
    // Without interrupt counters, compare the line states themselves.
    int bits = 0;
    if (ioctl(m_fd, TIOCMGET, &bits) != 0)
        return 0;
    const int changed = bits ^ m_lastModemBits;
    m_lastModemBits = bits;
    if (changed & TIOCM_CTS)
        events |= CommEvent::Cts;
    if (changed & TIOCM_DSR)
        events |= CommEvent::Dsr;
    if (changed & TIOCM_CAR)
        events |= CommEvent::Rlsd;
    if (changed & TIOCM_RNG)
        events |= CommEvent::Ring;
    return events;
}
