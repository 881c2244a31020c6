#pragma once

#include "CommDevice.h"
#include "Rfc2217Codec.h"
#include "SocketIo.h"
#include "TelnetNegotiation.h"

#include <atomic>
#include <chrono>
#include <mutex>

class OpenAbort;

// A serial port on a COM port server, reached as "rfc2217://HOST:PORT": a
// Telnet connection with COM port control (RFC 2217), such as a serial device
// server on the network or the simulated display.
//
// Opening connects within a time limit and waits there for the server to agree
// to COM port control and BINARY transfer; anything the server sends before
// that belongs to no configured line and is dropped. From then on every call
// returns at once: the socket signals input (inputWait()), read() strips the
// Telnet framing and takes the server's notifications in passing, and the line
// settings and line functions go out as port commands without waiting for the
// server's answers.
//
// What is not data: modem line and line state notifications become line events
// and error flags; answers to the line settings are kept, so that
// readLineSettings() tells what the server says it runs (the last settings
// written until it has answered). A connection that ends or breaks counts as a
// removed device.
//
// Bytes that the socket did not take (the second half of an escaped 0xFF, a
// port command) wait here and go out first with the next write, read, line
// command or line event sample, so the framing is never cut and no command is
// lost while the socket is full. Answers to the server's option negotiation
// join them only while fewer than MaxWaitingAnswerBytes wait, and each option
// is answered a few times at most (see TelnetNegotiation): a server that floods
// offers without reading, or changes its mind for ever, can neither fill the
// memory nor keep both sides busy. A read that finds whole buffers of nothing
// but commands pauses the input for a moment (inputPauseMs()), so that a
// command flood is slowed down by TCP rather than parsed as fast as it comes.
class Rfc2217Device : public CommDevice
{
public:
    // The limit for connecting and for the server's agreement.
    static constexpr std::chrono::milliseconds OpenTimeout{5000};
    // Answers to the server are dropped while this much waits for the socket.
    static constexpr qsizetype MaxWaitingAnswerBytes = 4096;

    // Fails with EINVAL for a malformed address, EPROTONOSUPPORT when the
    // server refuses COM port control or BINARY transfer, ETIMEDOUT when it
    // does not answer in time (whatever else it sends meanwhile), ECONNRESET
    // when it closes the connection first, ECANCELED when `abort` (may be null)
    // was tripped, and with the connection's own errors (ECONNREFUSED, ENOENT
    // for an unknown host, ...).
    static std::unique_ptr<CommDevice> open(const QString &path, const OpenAbort *abort = nullptr);
    ~Rfc2217Device() override;

    QString path() const override { return m_path; }
    WaitItem inputWait() const override { return m_signal.item(WaitFor::Input); }
    // On Windows one object signals input and room alike, and a read rearms
    // it: a writer that waits on it looks again after a short while anyway.
    WaitItem outputWait() const override { return m_signal.item(WaitFor::Output); }

    bool readLineSettings(LineSettings &settings) override;
    bool writeLineSettings(const LineSettings &settings) override;
    bool setQueueSizes(int readSize, int writeSize) override;
    bool setImmediateReads() override;
    bool setEventMask(quint32 mask) override;

    int read(char *buffer, int max) override;
    int write(const char *buffer, int count) override;
    bool escape(CommFunction function) override;
    bool clearErrors(quint32 &errors, CommStatus &status) override;
    quint32 sampleLineEvents() override;
    // Notifications arrive with the input; the interval only bounds how late a
    // notification taken in by a read on another thread, or a waiting command,
    // is dealt with.
    int lineEventInterval() const override { return 100; }
    bool removed() const override { return m_removed.load(); }
    QString removalCause() const override;
    int inputPauseMs() const override;

    // Bytes that wait here for room in the socket.
    qsizetype waitingBytes() const;

private:
    Rfc2217Device(SocketIo::Handle socket, const QString &path);

    bool negotiate(std::chrono::steady_clock::time_point end, const OpenAbort *abort);
    void takeOpeningBytes();
    int receive(char *buffer, int max);
    void take(const Rfc2217Codec::Item &item, char *buffer, int &count, int max);
    void takePortNotice(const QByteArray &payload);
    void takeModemState(quint8 state);

    bool sendControl(const QByteArray &bytes);
    void sendAnswer(const QByteArray &bytes);
    bool flushPending();
    bool flushPendingLocked();
    qint64 sendSome(const char *bytes, qint64 size);
    // `error`: the errno value behind the loss; 0 when the server closed the
    // connection, EPROTONOSUPPORT when it refused COM port control.
    int connectionLost(int error);

    const SocketIo::Handle m_fd;
    const QString m_path;
    // Declared after the socket: made from it, and gone before it closes.
    const SocketIo::Signal m_signal{m_fd};

    // Held by whoever reads the socket; guards the parser and the line states.
    std::mutex m_receiveMutex;
    Rfc2217Codec m_codec;
    TelnetNegotiation m_negotiation;
    bool m_opened = false;
    bool m_modemStateKnown = false;
    quint8 m_modemState = 0;

    // Held by whoever sends; guards the bytes that wait for room in the socket.
    mutable std::mutex m_sendMutex;
    QByteArray m_pending;

    mutable std::mutex m_settingsMutex;
    LineSettings m_settings;
    bool m_settingsWritten = false;

    std::atomic<quint32> m_lineEvents{0};
    std::atomic<quint32> m_lineErrors{0};
    std::atomic<bool> m_removed{false};
    // Until when input is left in the socket after a read found only commands
    // (steady clock, in ns since its epoch).
    std::atomic<qint64> m_inputPausedUntil{0};
    // The removal is reported once by clearErrors().
    std::atomic<bool> m_removalUnreported{false};
    std::atomic<int> m_removalError{0};
};
