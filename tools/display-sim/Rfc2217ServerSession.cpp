#include "Rfc2217ServerSession.h"

#include <QTcpSocket>

namespace {

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

Rfc2217ServerSession::Rfc2217ServerSession(QTcpSocket *socket, QObject *parent)
    : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &Rfc2217ServerSession::readSocket);
    connect(m_socket, &QTcpSocket::disconnected, this, &Rfc2217ServerSession::closed);
}

void Rfc2217ServerSession::start()
{
    // Binary both ways keeps CR and 0xFF untouched; the client is invited to
    // control the port.
    requestOption(Telnet::WILL, Telnet::OptionBinary);
    requestOption(Telnet::DO, Telnet::OptionBinary);
    requestOption(Telnet::DO, Telnet::OptionComPort);
}

void Rfc2217ServerSession::sendData(const QByteArray &data)
{
    m_socket->write(Rfc2217Codec::escape(data));
}

void Rfc2217ServerSession::close()
{
    m_socket->disconnectFromHost();
}

QString Rfc2217ServerSession::peer() const
{
    return QStringLiteral("%1:%2")
        .arg(m_socket->peerAddress().toString())
        .arg(m_socket->peerPort());
}

void Rfc2217ServerSession::readSocket()
{
    for (const Rfc2217Codec::Item &item : m_codec.feed(m_socket->readAll()))
        handle(item);
}

void Rfc2217ServerSession::handle(const Rfc2217Codec::Item &item)
{
    using Kind = Rfc2217Codec::Item::Kind;
    switch (item.kind) {
    case Kind::Data:
        emit dataReceived(item.bytes);
        return;
    case Kind::Negotiation:
        negotiate(item.code, item.option);
        return;
    case Kind::Subnegotiation:
        if (item.option == Telnet::OptionComPort)
            handleComPort(item.bytes);
        else
            emit note(
                QStringLiteral("telnet: ignored subnegotiation of option %1").arg(item.option));
        return;
    case Kind::Command:
        if (item.code != Telnet::NOP)
            emit note(QStringLiteral("telnet: ignored command %1").arg(item.code));
        return;
    case Kind::Malformed:
        emit note("telnet: discarded malformed subnegotiation " + hexOf(item.bytes));
        return;
    }
}

void Rfc2217ServerSession::requestOption(quint8 verb, quint8 option)
{
    auto &state = verb == Telnet::WILL ? m_local[option] : m_remote[option];
    state = OptionState::Requested;
    m_socket->write(Rfc2217Codec::negotiation(verb, option));
}

bool Rfc2217ServerSession::supported(quint8 option)
{
    return option == Telnet::OptionBinary || option == Telnet::OptionSuppressGoAhead ||
           option == Telnet::OptionComPort;
}

void Rfc2217ServerSession::negotiate(quint8 verb, quint8 option)
{
    // Answer only a change of state, so that two sides never bounce a request
    // back and forth; an answer to our own request needs no reply.
    const bool local = verb == Telnet::DO || verb == Telnet::DONT;
    const bool enable = verb == Telnet::DO || verb == Telnet::WILL;
    OptionState &state = local ? m_local[option] : m_remote[option];
    const quint8 yes = local ? Telnet::WILL : Telnet::DO;
    const quint8 no = local ? Telnet::WONT : Telnet::DONT;
    if (enable && !supported(option)) {
        m_socket->write(Rfc2217Codec::negotiation(no, option));
        return;
    }
    const OptionState before = state;
    state = enable ? OptionState::On : OptionState::Off;
    if (before == OptionState::Off && enable)
        m_socket->write(Rfc2217Codec::negotiation(yes, option));
    else if (before == OptionState::On && !enable)
        m_socket->write(Rfc2217Codec::negotiation(no, option));
}

void Rfc2217ServerSession::handleComPort(const QByteArray &payload)
{
    if (payload.isEmpty()) {
        emit note(QStringLiteral("rfc2217: empty port command ignored"));
        return;
    }
    const quint8 command = quint8(payload[0]);
    const QByteArray value = payload.mid(1);
    switch (command) {
    case ComPort::SetBaudrate:
    case ComPort::SetDatasize:
    case ComPort::SetParity:
    case ComPort::SetStopsize:
        handleLineSetting(command, value);
        return;
    case ComPort::SetControl:
        if (value.size() == 1)
            handleControl(quint8(value[0]));
        else
            emit note("rfc2217: malformed SET-CONTROL " + hexOf(value));
        return;
    case ComPort::NotifyLinestate:
    case ComPort::NotifyModemstate:
        // A poll: the display drives none of the lines the client could watch.
        reply(command, QByteArray(1, '\0'));
        return;
    case ComPort::FlowcontrolSuspend:
    case ComPort::FlowcontrolResume:
        emit outputSuspended(command == ComPort::FlowcontrolSuspend);
        return;
    case ComPort::SetLinestateMask:
    case ComPort::SetModemstateMask:
        // Accepted; with no line or modem state ever changing there is nothing to notify.
        reply(command, value.left(1));
        return;
    case ComPort::PurgeData:
        if (value.size() == 1 && quint8(value[0]) >= ComPort::PurgeReceive &&
            quint8(value[0]) <= ComPort::PurgeBoth)
            emit purgeRequested(quint8(value[0]));
        reply(command, value.left(1));
        return;
    default:
        emit note(QStringLiteral("rfc2217: ignored unknown port command %1").arg(command));
        return;
    }
}

void Rfc2217ServerSession::handleLineSetting(quint8 command, const QByteArray &value)
{
    const DisplayLineSettings before = m_line;
    if (command == ComPort::SetBaudrate) {
        const std::optional<quint32> baud = Rfc2217Codec::toUint32(value);
        if (!baud) {
            emit note("rfc2217: malformed SET-BAUDRATE " + hexOf(value));
            return;
        }
        if (*baud != ComPort::Query)
            m_line.baudrate = *baud;
        reply(command, Rfc2217Codec::uint32Value(m_line.baudrate));
    } else {
        if (value.size() != 1) {
            emit note(QStringLiteral("rfc2217: malformed port command %1 %2")
                          .arg(command)
                          .arg(hexOf(value)));
            return;
        }
        // A value out of range is refused by answering with the current one.
        const quint8 v = quint8(value[0]);
        if (command == ComPort::SetDatasize && v >= 5 && v <= 8)
            m_line.dataBits = v;
        else if (command == ComPort::SetParity && v >= ComPort::ParityNone &&
                 v <= ComPort::ParitySpace)
            m_line.parity = v;
        else if (command == ComPort::SetStopsize && v >= ComPort::StopsizeOne &&
                 v <= ComPort::StopsizeOneAndHalf)
            m_line.stopSize = v;
        const quint8 current = command == ComPort::SetDatasize ? m_line.dataBits
                               : command == ComPort::SetParity ? m_line.parity
                                                               : m_line.stopSize;
        reply(command, QByteArray(1, char(current)));
    }
    if (!(m_line == before)) {
        // A real display would see only garbage at other settings; the simulator serves on
        // but says so.
        QString line = "line: " + m_line.text();
        if (!(m_line == DisplayLineSettings{}))
            line += QStringLiteral(" (the display itself runs at %1)").arg(DisplayLineSettings{}.text());
        emit note(line);
        emit lineSettingsChanged(m_line);
    }
}

void Rfc2217ServerSession::handleControl(quint8 value)
{
    using namespace ComPort;
    quint8 answer = value;
    switch (value) {
    case ControlRequestFlow:
    case ControlNoFlow:
    case ControlXonXoffFlow:
    case ControlHardwareFlow:
    case ControlDcdFlow:
    case ControlDsrFlow:
        // The display's line has no flow control; the answer says what is in force.
        answer = ControlNoFlow;
        break;
    case ControlRequestInboundFlow:
    case ControlNoInboundFlow:
    case ControlXonXoffInboundFlow:
    case ControlHardwareInboundFlow:
    case ControlDtrInboundFlow:
        answer = ControlNoInboundFlow;
        break;
    case ControlRequestBreak:
        answer = m_break ? ControlBreakOn : ControlBreakOff;
        break;
    case ControlBreakOn:
    case ControlBreakOff:
        m_break = value == ControlBreakOn;
        break;
    case ControlRequestDtr:
        answer = m_dtr ? ControlDtrOn : ControlDtrOff;
        break;
    case ControlDtrOn:
    case ControlDtrOff:
        if (m_dtr != (value == ControlDtrOn))
            emit note(value == ControlDtrOn ? QStringLiteral("dtr: high")
                                            : QStringLiteral("dtr: low"));
        m_dtr = value == ControlDtrOn;
        break;
    case ControlRequestRts:
        answer = m_rts ? ControlRtsOn : ControlRtsOff;
        break;
    default:
        break;
    }
    reply(SetControl, QByteArray(1, char(answer)));
    // The acknowledgement goes out before whatever the display answers to RTS.
    if ((value == ControlRtsOn || value == ControlRtsOff) && m_rts != (value == ControlRtsOn)) {
        m_rts = value == ControlRtsOn;
        emit rtsChanged(m_rts);
    }
}

void Rfc2217ServerSession::reply(quint8 command, const QByteArray &value)
{
    m_socket->write(Rfc2217Codec::comPortCommand(ComPort::serverReply(command), value));
}
