#pragma once

#include "CommTypes.h"

#include <QByteArray>

// What the serial component's line settings and line functions are in RFC 2217
// port commands, and what the server's notifications mean to the component.
namespace Rfc2217PortCommands {

// Bits of NOTIFY-MODEMSTATE.
namespace ModemState {
constexpr quint8 CtsDelta = 0x01;
constexpr quint8 DsrDelta = 0x02;
constexpr quint8 RingTrailingEdge = 0x04;
constexpr quint8 CdDelta = 0x08;
constexpr quint8 Cts = 0x10;
constexpr quint8 Dsr = 0x20;
constexpr quint8 Ring = 0x40;
constexpr quint8 Cd = 0x80;
} // namespace ModemState

// Bits of NOTIFY-LINESTATE.
namespace LineState {
constexpr quint8 Overrun = 0x02;
constexpr quint8 Parity = 0x04;
constexpr quint8 Framing = 0x08;
constexpr quint8 Break = 0x10;
} // namespace LineState

// SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE and SET-CONTROL for flow
// control, DTR and RTS. Fails with EINVAL (empty result) for values that the
// line cannot take: no speed, data bits outside 5 to 8, unknown parity or stop bits.
// DTR and RTS are set only where their control mode differs from `previous`
// (the settings written before; nullptr for the first write).
QByteArray lineSettings(const LineSettings &settings, const LineSettings *previous = nullptr);
QByteArray rts(bool high);
// Empties both of the server's buffers.
QByteArray purgeBoth();
// Asks for notice of every modem line change and of breaks and line errors.
QByteArray notificationMasks();

// The line events in a modem state notification, given the state notified before.
quint32 modemEvents(quint8 state, quint8 before);
// The line events and the line error flags in a line state notification.
quint32 lineEvents(quint8 state);
quint32 lineErrors(quint8 state);

// Carries a server's answer to SET-BAUDRATE, SET-DATASIZE, SET-PARITY or
// SET-STOPSIZE (server command code and value) into `settings`; false when the
// answer names no value the settings can hold.
bool applyAnswer(quint8 command, const QByteArray &value, LineSettings &settings);

} // namespace Rfc2217PortCommands
