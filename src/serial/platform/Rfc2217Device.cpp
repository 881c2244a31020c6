#include "Rfc2217Device.h"

#include "OpenAbort.h"
#include "OsError.h"
#include "Rfc2217Address.h"
#include "Rfc2217PortCommands.h"
#include "TcpConnector.h"

#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// How long closing waits for port commands still queued here.
constexpr auto CloseFlushTime = std::chrono::milliseconds(200);

// What one read takes from the socket at most: a server that sends commands
// faster than they are parsed must not keep a read going for ever.
constexpr int MaxRoundsPerRead = 16;
// What a reset drops at most; the rest is read as usual.
constexpr int MaxRoundsPerReset = 64;
// How long input is left alone after a read found nothing but commands in
// every round: no real server sends that many commands without data.
constexpr auto CommandFloodPause = std::chrono::milliseconds(50);

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

int remainingMs(Clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    return int(qMax<qint64>(left.count(), 0));
}

using SocketIo::isTransient;

} // namespace

std::unique_ptr<CommDevice> Rfc2217Device::open(const QString &path, const OpenAbort *abort)
{
    const auto address = Rfc2217Address::parse(path);
    if (!address) {
        errno = EINVAL;
        return nullptr;
    }
    const Clock::time_point end = Clock::now() + OpenTimeout;
    const SocketIo::Handle socket =
        TcpConnector::connectTo(address->host, address->port, OpenTimeout, abort);
    if (socket == SocketIo::Invalid)
        return nullptr;
    std::unique_ptr<Rfc2217Device> device(new Rfc2217Device(socket, path));
    if (!device->m_signal.valid()) {
        const int error = errno ? errno : ENOMEM;
        device.reset();
        errno = error;
        return nullptr;
    }
    if (!device->negotiate(end, abort)) {
        const int error = errno;
        device.reset();
        errno = error;
        return nullptr;
    }
    return device;
}

Rfc2217Device::Rfc2217Device(SocketIo::Handle socket, const QString &path)
    : m_fd(socket), m_path(path)
{}

Rfc2217Device::~Rfc2217Device()
{
    // A last line command (RTS low, say) should still reach the server, but a
    // server that takes nothing must not hold up the close.
    const Clock::time_point end = Clock::now() + CloseFlushTime;
    while (!removed() && flushPending()) {
        {
            const std::lock_guard lock(m_sendMutex);
            if (m_pending.isEmpty())
                break;
        }
        if (SocketIo::poll(m_fd, WaitFor::Output, remainingMs(end)) <= 0)
            break;
    }
    SocketIo::close(m_fd);
}

// Takes input until the server has settled the opening requests, so that
// nothing after that point is taken from the socket here.
bool Rfc2217Device::negotiate(Clock::time_point end, const OpenAbort *abort)
{
    if (!sendControl(m_negotiation.start()))
        return false;
    const std::lock_guard lock(m_receiveMutex);
    OpenWait wait = OpenWait::Ready;
    while (!m_negotiation.settled() && !removed()) {
        wait = waitForSocket(m_signal, m_fd, WaitFor::Input, end, abort);
        if (wait != OpenWait::Ready)
            break;
        takeOpeningBytes();
    }
    if (wait == OpenWait::Aborted || wait == OpenWait::Failed)
        return false;
    if (removed()) {
        errno = ECONNRESET;
        return false;
    }
    if (!m_negotiation.comPortAgreed()) {
        errno = m_negotiation.settled() ? EPROTONOSUPPORT : ETIMEDOUT;
        return false;
    }
    // Without BINARY the server may change CR and 0xFF in the data.
    if (m_negotiation.binaryRefused()) {
        errno = EPROTONOSUPPORT;
        return false;
    }
    m_opened = true;
    return sendControl(Rfc2217PortCommands::notificationMasks());
}

// Looks at what has arrived and takes from the socket only the bytes up to the
// one that settles the negotiation. Called with m_receiveMutex held.
void Rfc2217Device::takeOpeningBytes()
{
    char bytes[512];
    const long got = SocketIo::receive(m_fd, bytes, sizeof bytes, true);
    if (got == 0 || (got < 0 && !isTransient(errno))) {
        connectionLost(got == 0 ? 0 : errno);
        return;
    }
    ssize_t used = 0;
    int dropped = 0;
    while (used < got && !m_negotiation.settled()) {
        for (const Rfc2217Codec::Item &item : m_codec.feed(QByteArrayView(bytes + used, 1)))
            take(item, nullptr, dropped, 0);
        ++used;
    }
    // Answers that came in the same burst right after the settling one belong
    // to the opening too: a server that agrees and at once takes it back
    // (DO, then DONT COM-PORT-OPTION) has refused.
    while (m_negotiation.settled() && used + 3 <= got && quint8(bytes[used]) == Telnet::IAC &&
           quint8(bytes[used + 1]) >= Telnet::WILL && quint8(bytes[used + 1]) <= Telnet::DONT) {
        for (const Rfc2217Codec::Item &item : m_codec.feed(QByteArrayView(bytes + used, 3)))
            take(item, nullptr, dropped, 0);
        used += 3;
    }
    if (used > 0 && SocketIo::receive(m_fd, bytes, used) != used)
        connectionLost(errno);
}

bool Rfc2217Device::readLineSettings(LineSettings &settings)
{
    const std::lock_guard lock(m_settingsMutex);
    if (!m_settingsWritten) {
        // The server's line is unknown until this program has set it.
        errno = ENODATA;
        return false;
    }
    settings = m_settings;
    return true;
}

bool Rfc2217Device::writeLineSettings(const LineSettings &settings)
{
    if (removed()) {
        errno = EIO;
        return false;
    }
    QByteArray commands;
    {
        const std::lock_guard lock(m_settingsMutex);
        commands =
            Rfc2217PortCommands::lineSettings(settings, m_settingsWritten ? &m_settings : nullptr);
        if (commands.isEmpty())
            return false;
        m_settings = settings;
        m_settingsWritten = true;
    }
    return sendControl(commands);
}

bool Rfc2217Device::setQueueSizes(int, int)
{
    // The server and the socket size their buffers themselves.
    return true;
}

bool Rfc2217Device::setImmediateReads()
{
    // Reads never wait anyway.
    return true;
}

bool Rfc2217Device::setEventMask(quint32)
{
    // Notifications come as they come; the event thread picks what it watches.
    return true;
}

int Rfc2217Device::read(char *buffer, int max)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    if (!flushPending())
        return connectionLost(errno);
    if (inputPauseMs() > 0)
        return 0;
    const std::lock_guard lock(m_receiveMutex);
    return receive(buffer, max);
}

int Rfc2217Device::inputPauseMs() const
{
    const qint64 left = m_inputPausedUntil.load() - nowNs();
    return left > 0 ? int(qMax<qint64>(left / 1000000, 1)) : 0;
}

// Takes from the socket no more bytes than `max`: the data in them is never
// more than the bytes, so nothing is left over for a later call, and input
// waiting here unseen by poll(2) cannot exist. Called with m_receiveMutex held.
int Rfc2217Device::receive(char *buffer, int max)
{
    int count = 0;
    char raw[4096];
    const int wanted = qMin<int>(max, int(sizeof raw));
    for (int round = 0; count == 0 && wanted > 0; ++round) {
        if (round == MaxRoundsPerRead) {
            // Whole buffers of nothing but commands, again and again: a flood.
            if (wanted == int(sizeof raw))
                m_inputPausedUntil = nowNs() + std::chrono::nanoseconds(CommandFloodPause).count();
            break;
        }
        // Rearmed before the look, so that bytes arriving after it wake the event thread.
        m_signal.rearm();
        const long got = SocketIo::receive(m_fd, raw, wanted);
        if (got == 0 || (got < 0 && !isTransient(errno)))
            return connectionLost(got == 0 ? 0 : errno);
        if (got < 0)
            break;
        for (const Rfc2217Codec::Item &item : m_codec.feed(QByteArrayView(raw, got)))
            take(item, buffer, count, max);
        // Only commands so far: look again while the socket may hold more.
        if (got < wanted)
            break;
    }
    return count;
}

void Rfc2217Device::take(const Rfc2217Codec::Item &item, char *buffer, int &count, int max)
{
    using Kind = Rfc2217Codec::Item::Kind;
    switch (item.kind) {
    case Kind::Data: {
        const int length = qMin<int>(int(item.bytes.size()), max - count);
        if (buffer && length > 0)
            std::memcpy(buffer + count, item.bytes.constData(), size_t(length));
        count += qMax(length, 0);
        return;
    }
    case Kind::Negotiation:
        sendAnswer(m_negotiation.receive(item.code, item.option));
        // Without COM port control the line can no longer be driven (RTS
        // above all): the port is as good as gone.
        if (m_opened && m_negotiation.comPortRefused())
            connectionLost(EPROTONOSUPPORT);
        return;
    case Kind::Subnegotiation:
        if (item.option == Telnet::OptionComPort)
            takePortNotice(item.bytes);
        return;
    case Kind::Command:
    case Kind::Malformed:
        // NOP, go-ahead and the like carry nothing for a serial line.
        return;
    }
}

void Rfc2217Device::takePortNotice(const QByteArray &payload)
{
    if (payload.size() < 2)
        return;
    const quint8 command = quint8(payload[0]);
    const QByteArray value = payload.mid(1);
    if (command == ComPort::serverReply(ComPort::NotifyModemstate)) {
        takeModemState(quint8(value[0]));
    } else if (command == ComPort::serverReply(ComPort::NotifyLinestate)) {
        // Errors of the line before this program configured it are none of its business.
        if (!m_opened)
            return;
        const quint8 state = quint8(value[0]);
        m_lineErrors.fetch_or(Rfc2217PortCommands::lineErrors(state));
        m_lineEvents.fetch_or(Rfc2217PortCommands::lineEvents(state));
    } else {
        const std::lock_guard lock(m_settingsMutex);
        if (m_settingsWritten)
            Rfc2217PortCommands::applyAnswer(command, value, m_settings);
    }
}

// The first notification tells the levels the lines had before this program
// came; only what changes after it is an event, as on a local port.
void Rfc2217Device::takeModemState(quint8 state)
{
    if (m_opened && m_modemStateKnown)
        m_lineEvents.fetch_or(Rfc2217PortCommands::modemEvents(state, m_modemState));
    m_modemState = state & 0xF0;
    m_modemStateKnown = true;
}

int Rfc2217Device::write(const char *buffer, int count)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    const std::lock_guard lock(m_sendMutex);
    if (!flushPendingLocked())
        return -1;
    if (!m_pending.isEmpty() || count <= 0)
        return 0;
    const QByteArray escaped = Rfc2217Codec::escape(QByteArrayView(buffer, count));
    const qint64 sent = sendSome(escaped.constData(), escaped.size());
    if (sent < 0)
        return -1;
    // Count the data bytes that went out; a 0xFF whose escape was cut after its
    // first half is sent, and its second half waits here to go first.
    int taken = 0;
    qint64 position = 0;
    while (taken < count && position < sent) {
        const bool doubled = quint8(buffer[taken]) == Telnet::IAC;
        position += doubled ? 2 : 1;
        if (position > sent)
            m_pending.append(char(Telnet::IAC));
        ++taken;
    }
    return taken;
}

bool Rfc2217Device::escape(CommFunction function)
{
    if (removed()) {
        errno = EIO;
        return false;
    }
    switch (function) {
    case CommFunction::SetRts:
        return sendControl(Rfc2217PortCommands::rts(true));
    case CommFunction::ClearRts:
        return sendControl(Rfc2217PortCommands::rts(false));
    case CommFunction::ResetDevice: {
        // What has reached this side already is dropped as a local port's
        // driver drops its input; the server empties its own buffers.
        const std::lock_guard lock(m_receiveMutex);
        char scratch[4096];
        for (int round = 0; round < MaxRoundsPerReset; ++round) {
            if (receive(scratch, int(sizeof scratch)) <= 0)
                break;
        }
        if (removed()) {
            errno = EIO;
            return false;
        }
        return sendControl(Rfc2217PortCommands::purgeBoth());
    }
    }
    errno = EINVAL;
    return false;
}

bool Rfc2217Device::clearErrors(quint32 &errors, CommStatus &status)
{
    errors = m_lineErrors.exchange(0);
    status = CommStatus{};
    if (m_removalUnreported.exchange(false))
        errors |= CommError::DeviceIo;
    if (removed())
        return true;
    // Bytes as they wait in the socket, Telnet framing included.
    const long waiting = SocketIo::inputWaiting(m_fd);
    if (waiting < 0)
        return false;
    status.inQueue = quint32(waiting);
    status.outQueue = quint32(SocketIo::outputUnacknowledged(m_fd));
    const std::lock_guard lock(m_sendMutex);
    status.outQueue += quint32(m_pending.size());
    return true;
}

quint32 Rfc2217Device::sampleLineEvents()
{
    if (removed())
        return 0;
    flushPending();
    return m_lineEvents.exchange(0);
}

bool Rfc2217Device::sendControl(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    const std::lock_guard lock(m_sendMutex);
    m_pending += bytes;
    return flushPendingLocked();
}

// A server that offers options faster than it reads the answers gets no more
// of them: they would only pile up here.
void Rfc2217Device::sendAnswer(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const std::lock_guard lock(m_sendMutex);
    if (m_pending.size() >= MaxWaitingAnswerBytes)
        return;
    m_pending += bytes;
    flushPendingLocked();
}

qsizetype Rfc2217Device::waitingBytes() const
{
    const std::lock_guard lock(m_sendMutex);
    return m_pending.size();
}

bool Rfc2217Device::flushPending()
{
    const std::lock_guard lock(m_sendMutex);
    return flushPendingLocked();
}

// False when the connection failed; bytes the socket has no room for stay.
bool Rfc2217Device::flushPendingLocked()
{
    if (m_pending.isEmpty())
        return true;
    const qint64 sent = sendSome(m_pending.constData(), m_pending.size());
    if (sent < 0)
        return false;
    m_pending.remove(0, sent);
    return true;
}

// What the socket took now (0 when it is full), or -1 with errno when the
// connection failed, which then counts as removed.
qint64 Rfc2217Device::sendSome(const char *bytes, qint64 size)
{
    const long sent = SocketIo::send(m_fd, bytes, long(size));
    if (sent >= 0)
        return sent;
    if (isTransient(errno))
        return 0;
    const int error = errno;
    connectionLost(error);
    errno = error;
    return -1;
}

int Rfc2217Device::connectionLost(int error)
{
    if (!m_removed.load())
        m_removalError = error;
    if (!m_removed.exchange(true))
        m_removalUnreported = true;
    errno = EIO;
    return -1;
}

QString Rfc2217Device::removalCause() const
{
    if (!removed())
        return {};
    switch (const int error = m_removalError.load()) {
    case 0:
        return QStringLiteral("the COM port server %1 closed the connection (another client may "
                              "have taken the port, or the server stopped)")
            .arg(m_path);
    case EPROTONOSUPPORT:
        return QStringLiteral("the COM port server %1 no longer accepts COM port control")
            .arg(m_path);
    default:
        return QStringLiteral("the connection to the COM port server %1 broke (Error %2, %3)")
            .arg(m_path)
            .arg(error)
            .arg(OsError::text(error));
    }
}
