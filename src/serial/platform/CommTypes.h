#pragma once

#include <QtGlobal>

// The records and bit values that the serial component and its device back ends
// exchange. They keep the layout and values of the classic serial port
// interface, so that the component's logic can be written once for every back end.

// The line settings record (device control block). A back end reads it from and
// writes it to its device; fields it cannot express are ignored there.
struct LineSettings
{
    quint32 baudRate = 0;
    quint32 flags = 0;
    quint16 xonLimit = 0;
    quint16 xoffLimit = 0;
    quint8 byteSize = 0;
    quint8 parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    quint8 stopBits = 0; // 0 one, 1 one and a half, 2 two
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char eventChar = 0;
};

// Bits of LineSettings::flags.
namespace LineFlag {
constexpr quint32 Binary = 0x0001;
constexpr quint32 ParityCheck = 0x0002;
constexpr quint32 OutCtsFlow = 0x0004;
constexpr quint32 OutDsrFlow = 0x0008;
constexpr quint32 DtrControlMask = 0x0030;
constexpr quint32 DtrEnable = 0x0010;
constexpr quint32 DtrHandshake = 0x0020;
constexpr quint32 DsrSensitivity = 0x0040;
constexpr quint32 TxContinueOnXoff = 0x0080;
constexpr quint32 OutX = 0x0100;
constexpr quint32 InX = 0x0200;
constexpr quint32 ErrorChar = 0x0400;
constexpr quint32 NullStrip = 0x0800;
constexpr quint32 RtsControlMask = 0x3000;
constexpr quint32 RtsEnable = 0x1000;
constexpr quint32 RtsHandshake = 0x2000;
constexpr quint32 RtsToggle = 0x3000;
} // namespace LineFlag

// Line event bits: what the component asks to be told about and what comes back.
namespace CommEvent {
constexpr quint32 RxChar = 0x0001;
constexpr quint32 RxFlag = 0x0002;
constexpr quint32 TxEmpty = 0x0004;
constexpr quint32 Cts = 0x0008;
constexpr quint32 Dsr = 0x0010;
constexpr quint32 Rlsd = 0x0020;
constexpr quint32 Break = 0x0040;
constexpr quint32 Error = 0x0080;
constexpr quint32 Ring = 0x0100;
constexpr quint32 PErr = 0x0200;
constexpr quint32 Rx80Full = 0x0400;
constexpr quint32 Event1 = 0x0800;
constexpr quint32 Event2 = 0x1000;
} // namespace CommEvent

// Line error flags as a status read reports them.
namespace CommError {
constexpr quint32 RxOver = 0x0001;
constexpr quint32 Overrun = 0x0002;
constexpr quint32 RxParity = 0x0004;
constexpr quint32 Frame = 0x0008;
constexpr quint32 Break = 0x0010;
// The device failed or went away (an adapter unplugged).
constexpr quint32 DeviceIo = 0x0400;
} // namespace CommError

// The status part of a status read.
struct CommStatus
{
    quint32 flags = 0;
    quint32 inQueue = 0;
    quint32 outQueue = 0;
};

// The line functions a back end performs on request.
enum class CommFunction
{
    SetRts = 3,
    ClearRts = 4,
    ResetDevice = 7
};
