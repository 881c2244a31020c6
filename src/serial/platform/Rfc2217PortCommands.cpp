#include "Rfc2217PortCommands.h"

#include "Rfc2217Codec.h"

#include <cerrno>

namespace Rfc2217PortCommands {

namespace {

// Parity codes of the line settings (none, odd, even, mark, space) and stop-bit
// codes (one, one and a half, two) in RFC 2217's values.
constexpr quint8 ParityValues[] = {ComPort::ParityNone, ComPort::ParityOdd, ComPort::ParityEven,
                                   ComPort::ParityMark, ComPort::ParitySpace};
constexpr quint8 StopsizeValues[] = {ComPort::StopsizeOne, ComPort::StopsizeOneAndHalf,
                                     ComPort::StopsizeTwo};

QByteArray control(quint8 value)
{
    return Rfc2217Codec::comPortCommand(ComPort::SetControl, QByteArray(1, char(value)));
}

QByteArray oneByte(quint8 command, quint8 value)
{
    return Rfc2217Codec::comPortCommand(command, QByteArray(1, char(value)));
}

bool valid(const LineSettings &settings)
{
    return settings.baudRate != 0 && settings.byteSize >= 5 && settings.byteSize <= 8 &&
           settings.parity < std::size(ParityValues) &&
           settings.stopBits < std::size(StopsizeValues);
}

quint8 outboundFlow(quint32 flags)
{
    if (flags & LineFlag::OutCtsFlow)
        return ComPort::ControlHardwareFlow;
    if (flags & LineFlag::OutX)
        return ComPort::ControlXonXoffFlow;
    if (flags & LineFlag::OutDsrFlow)
        return ComPort::ControlDsrFlow;
    return ComPort::ControlNoFlow;
}

// Input flow control, only when it is asked for: the outbound command already
// covers both directions for servers that know no separate setting.
QByteArray inboundFlow(quint32 flags)
{
    if (flags & LineFlag::InX)
        return control(ComPort::ControlXonXoffInboundFlow);
    if ((flags & LineFlag::RtsControlMask) == LineFlag::RtsHandshake)
        return control(ComPort::ControlHardwareInboundFlow);
    if ((flags & LineFlag::DtrControlMask) == LineFlag::DtrHandshake)
        return control(ComPort::ControlDtrInboundFlow);
    return QByteArray();
}

// DTR and RTS as the line settings hold them, each only when its control mode
// differs from the one written before: a rewrite of the same settings keeps
// the level that SetRts chose. A line under handshake belongs to the server's
// flow control and is left alone.
QByteArray modemLines(quint32 flags, const LineSettings *previous)
{
    QByteArray out;
    const quint32 dtr = flags & LineFlag::DtrControlMask;
    const bool dtrChanged = !previous || (previous->flags & LineFlag::DtrControlMask) != dtr;
    if (dtrChanged && dtr != LineFlag::DtrHandshake)
        out += control(dtr == LineFlag::DtrEnable ? ComPort::ControlDtrOn : ComPort::ControlDtrOff);
    const quint32 rts = flags & LineFlag::RtsControlMask;
    const bool rtsChanged = !previous || (previous->flags & LineFlag::RtsControlMask) != rts;
    if (rtsChanged && rts != LineFlag::RtsHandshake)
        out += rts == LineFlag::RtsEnable ? control(ComPort::ControlRtsOn)
                                          : control(ComPort::ControlRtsOff);
    return out;
}

template <std::size_t N> int indexOf(const quint8 (&values)[N], quint8 value)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (values[i] == value)
            return int(i);
    }
    return -1;
}

} // namespace

QByteArray lineSettings(const LineSettings &settings, const LineSettings *previous)
{
    if (!valid(settings)) {
        errno = EINVAL;
        return QByteArray();
    }
    QByteArray out;
    out += Rfc2217Codec::comPortCommand(ComPort::SetBaudrate,
                                        Rfc2217Codec::uint32Value(settings.baudRate));
    out += oneByte(ComPort::SetDatasize, settings.byteSize);
    out += oneByte(ComPort::SetParity, ParityValues[settings.parity]);
    out += oneByte(ComPort::SetStopsize, StopsizeValues[settings.stopBits]);
    out += control(outboundFlow(settings.flags));
    out += inboundFlow(settings.flags);
    out += modemLines(settings.flags, previous);
    return out;
}

QByteArray rts(bool high)
{
    return control(high ? ComPort::ControlRtsOn : ComPort::ControlRtsOff);
}

QByteArray purgeBoth()
{
    return oneByte(ComPort::PurgeData, ComPort::PurgeBoth);
}

QByteArray notificationMasks()
{
    constexpr quint8 lineMask =
        LineState::Overrun | LineState::Parity | LineState::Framing | LineState::Break;
    return oneByte(ComPort::SetLinestateMask, lineMask) + oneByte(ComPort::SetModemstateMask, 0xFF);
}

quint32 modemEvents(quint8 state, quint8 before)
{
    using namespace ModemState;
    // Servers that leave the delta bits out still show the change in the levels.
    const quint8 changed = state ^ before;
    quint32 events = 0;
    if ((state & CtsDelta) || (changed & Cts))
        events |= CommEvent::Cts;
    if ((state & DsrDelta) || (changed & Dsr))
        events |= CommEvent::Dsr;
    if ((state & RingTrailingEdge) || (changed & Ring))
        events |= CommEvent::Ring;
    if ((state & CdDelta) || (changed & Cd))
        events |= CommEvent::Rlsd;
    return events;
}

quint32 lineEvents(quint8 state)
{
    quint32 events = 0;
    if (state & LineState::Break)
        events |= CommEvent::Break;
    if (state & (LineState::Overrun | LineState::Parity | LineState::Framing))
        events |= CommEvent::Error;
    return events;
}

quint32 lineErrors(quint8 state)
{
    quint32 errors = 0;
    if (state & LineState::Overrun)
        errors |= CommError::Overrun;
    if (state & LineState::Parity)
        errors |= CommError::RxParity;
    if (state & LineState::Framing)
        errors |= CommError::Frame;
    if (state & LineState::Break)
        errors |= CommError::Break;
    return errors;
}

bool applyAnswer(quint8 command, const QByteArray &value, LineSettings &settings)
{
    if (command == ComPort::serverReply(ComPort::SetBaudrate)) {
        const auto baud = Rfc2217Codec::toUint32(value);
        if (!baud || *baud == 0)
            return false;
        settings.baudRate = *baud;
        return true;
    }
    if (value.size() != 1)
        return false;
    const quint8 v = quint8(value[0]);
    if (command == ComPort::serverReply(ComPort::SetDatasize) && v >= 5 && v <= 8) {
        settings.byteSize = v;
        return true;
    }
    if (command == ComPort::serverReply(ComPort::SetParity) && indexOf(ParityValues, v) >= 0) {
        settings.parity = quint8(indexOf(ParityValues, v));
        return true;
    }
    if (command == ComPort::serverReply(ComPort::SetStopsize) && indexOf(StopsizeValues, v) >= 0) {
        settings.stopBits = quint8(indexOf(StopsizeValues, v));
        return true;
    }
    return false;
}

} // namespace Rfc2217PortCommands
