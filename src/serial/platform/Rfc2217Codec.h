#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

// Telnet command bytes (RFC 854) and the two options a COM port connection uses.
namespace Telnet {
inline constexpr quint8 SE = 240;
inline constexpr quint8 NOP = 241;
inline constexpr quint8 BRK = 243;
inline constexpr quint8 SB = 250;
inline constexpr quint8 WILL = 251;
inline constexpr quint8 WONT = 252;
inline constexpr quint8 DO = 253;
inline constexpr quint8 DONT = 254;
inline constexpr quint8 IAC = 255;

inline constexpr quint8 OptionBinary = 0;
inline constexpr quint8 OptionSuppressGoAhead = 3;
inline constexpr quint8 OptionComPort = 44;
} // namespace Telnet

// RFC 2217 commands carried in subnegotiations of the COM-PORT-OPTION, and the
// values that the serial link of this program uses.
namespace ComPort {
inline constexpr quint8 SetBaudrate = 1;
inline constexpr quint8 SetDatasize = 2;
inline constexpr quint8 SetParity = 3;
inline constexpr quint8 SetStopsize = 4;
inline constexpr quint8 SetControl = 5;
inline constexpr quint8 NotifyLinestate = 6;
inline constexpr quint8 NotifyModemstate = 7;
inline constexpr quint8 FlowcontrolSuspend = 8;
inline constexpr quint8 FlowcontrolResume = 9;
inline constexpr quint8 SetLinestateMask = 10;
inline constexpr quint8 SetModemstateMask = 11;
inline constexpr quint8 PurgeData = 12;

// The server answers a command with the same code raised by this offset.
inline constexpr quint8 ServerOffset = 100;
constexpr quint8 serverReply(quint8 clientCommand)
{
    return quint8(clientCommand + ServerOffset);
}

// A value of 0 in SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE asks for the
// current setting instead of changing it.
inline constexpr quint8 Query = 0;

inline constexpr quint8 ParityNone = 1;
inline constexpr quint8 ParityOdd = 2;
inline constexpr quint8 ParityEven = 3;
inline constexpr quint8 ParityMark = 4;
inline constexpr quint8 ParitySpace = 5;

inline constexpr quint8 StopsizeOne = 1;
inline constexpr quint8 StopsizeTwo = 2;
inline constexpr quint8 StopsizeOneAndHalf = 3;

// Values of SET-CONTROL.
inline constexpr quint8 ControlRequestFlow = 0;
inline constexpr quint8 ControlNoFlow = 1;
inline constexpr quint8 ControlXonXoffFlow = 2;
inline constexpr quint8 ControlHardwareFlow = 3;
inline constexpr quint8 ControlRequestBreak = 4;
inline constexpr quint8 ControlBreakOn = 5;
inline constexpr quint8 ControlBreakOff = 6;
inline constexpr quint8 ControlRequestDtr = 7;
inline constexpr quint8 ControlDtrOn = 8;
inline constexpr quint8 ControlDtrOff = 9;
inline constexpr quint8 ControlRequestRts = 10;
inline constexpr quint8 ControlRtsOn = 11;
inline constexpr quint8 ControlRtsOff = 12;
inline constexpr quint8 ControlRequestInboundFlow = 13;
inline constexpr quint8 ControlNoInboundFlow = 14;
inline constexpr quint8 ControlXonXoffInboundFlow = 15;
inline constexpr quint8 ControlHardwareInboundFlow = 16;
inline constexpr quint8 ControlDcdFlow = 17;
inline constexpr quint8 ControlDtrInboundFlow = 18;
inline constexpr quint8 ControlDsrFlow = 19;

// Values of PURGE-DATA.
inline constexpr quint8 PurgeReceive = 1;
inline constexpr quint8 PurgeTransmit = 2;
inline constexpr quint8 PurgeBoth = 3;
} // namespace ComPort

// Framing of a Telnet connection that carries a serial line (RFC 854 commands,
// RFC 2217 COM port control). It turns outgoing data and commands into bytes,
// and splits an incoming byte stream into un-escaped data and the commands
// between it, whatever the stream's split into reads.
//
// It does no I/O and keeps no option state: which options are on, what to answer
// and what a command means is the business of the client or server using it.
class Rfc2217Codec
{
public:
    // One piece of the incoming stream, in the order it arrived.
    struct Item
    {
        enum class Kind
        {
            Data,           // bytes: data with IAC IAC turned back into one 0xFF
            Negotiation,    // code: WILL, WONT, DO or DONT; option
            Subnegotiation, // option; bytes: the un-escaped payload after the option byte
            Command,        // code: any other command after IAC (NOP, BRK, a stray SE...)
            Malformed,      // bytes: a cut-off subnegotiation: IAC SB and its payload so far
        };
        Kind kind = Kind::Data;
        QByteArray bytes;
        quint8 code = 0;
        quint8 option = 0;

        bool operator==(const Item &other) const = default;
    };

    // A subnegotiation longer than this is discarded, so that a peer that never
    // sends IAC SE cannot make the parser hold an unbounded amount of memory.
    static constexpr qsizetype MaxSubnegotiation = 1024;

    // Parses the next bytes of the stream. Data bytes that arrive together come
    // back as one Data item; a command cut off at the end waits for the next call.
    QList<Item> feed(QByteArrayView bytes);

    // Forgets a command cut off at the end of the last feed.
    void reset();

    static QByteArray escape(QByteArrayView data);
    static QByteArray negotiation(quint8 verb, quint8 option);
    static QByteArray subnegotiation(quint8 option, QByteArrayView payload);
    // IAC SB COM-PORT-OPTION <command> <value, escaped> IAC SE.
    static QByteArray comPortCommand(quint8 command, QByteArrayView value = {});

    // The four-byte, most-significant-first value of SET-BAUDRATE.
    static QByteArray uint32Value(quint32 value);
    static std::optional<quint32> toUint32(QByteArrayView value);

private:
    enum class State
    {
        Data,
        Iac,
        Verb,
        Sub,
        SubIac
    };

    void takeByte(quint8 byte, QList<Item> &items);
    void takeCommand(quint8 byte, QList<Item> &items);
    void takeSubnegotiationByte(quint8 byte, QList<Item> &items);
    void endSubnegotiation(QList<Item> &items);
    void abortSubnegotiation(QList<Item> &items);
    static void appendData(quint8 byte, QList<Item> &items);

    State m_state = State::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subOverflow = false;
};
