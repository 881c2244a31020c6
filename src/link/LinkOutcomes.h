#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// What each operation of DisplayLink ended with, as a value: the window turns
// these into its status texts and boxes, a script into its own messages.

// The connect handshake: open the port, pause, raise RTS, wait for ACK.
struct ConnectOutcome
{
    enum class Result
    {
        Connected,
        // The port could not be opened; `reason` holds the port's error text.
        // An open that waits for a port server ends so when cancelled.
        OpenFailed,
        // No answer came within the reply time.
        NoAck,
        // The first byte that was no alive signal was not ACK; see `answer`.
        WrongAnswer,
        // The device or its server went away before the display answered.
        PortLost,
        // An operation on the open port failed; `reason` holds the error text.
        PortFailed,
        // Ended by close() or cancel(), or by a new operation.
        Cancelled,
    };

    Result result = Result::Cancelled;
    QString reason;
    quint8 answer = 0;
    // OpenFailed: the system's error number behind `reason` (0 when unknown),
    // and the lines that tell the user why: what the port name reaches, the
    // error, and a hint for the common causes. `hint` is that hint alone
    // (empty when there is none), for callers that show the error themselves.
    int osError = 0;
    QString explanation{};
    QString hint{};

    bool connected() const { return result == Result::Connected; }
};

// Sending a telegram that the display echoes.
struct SendOutcome
{
    enum class Result
    {
        // The echo came back byte for byte.
        Echoed,
        // The echo did not come whole within the reply time, or the wait was
        // ended (the connection was closed or lost meanwhile).
        TimedOut,
        // A whole echo came back with different bytes.
        EchoDiffers,
    };

    Result result = Result::TimedOut;
    // The bytes that came back, as many as arrived.
    QByteArray received;

    // Whether the echo is not the telegram: always so after a time-out.
    bool echoDiffers() const { return result != Result::Echoed; }
};

// Reading a telegram with its request.
struct ReadOutcome
{
    enum class Result
    {
        // The whole reply came; `bytes` holds it, unexamined.
        Done,
        // It did not come whole in time, or the wait was ended.
        TimedOut,
    };

    Result result = Result::TimedOut;
    QByteArray bytes;
};

// Sending a user string with its "#nnn" escapes.
enum class UserStringOutcome
{
    Sent,
    // A "#" is not followed by three digits: nothing was sent.
    BadEscape,
};

Q_DECLARE_METATYPE(ConnectOutcome)
Q_DECLARE_METATYPE(SendOutcome)
Q_DECLARE_METATYPE(ReadOutcome)
