#pragma once

#include "LineMonitor.h"
#include "LinkOutcomes.h"
#include "ReplyState.h"

#include <QObject>
#include <functional>

class EVaCommError;
class QTimer;
class TVaComm;

// The link to one PANTRIX display over one serial port: the whole life of a
// connection, without any widget.
//
// It owns the port (configured for the display: 300 baud 8N2, no flow
// control, zero bytes dropped) and three timers: Timer1 bounds each wait for
// a reply (3000 ms), Timer2 supervises the contact while connected (1000 ms),
// Timer3 paces the connect (500 ms; it keeps running once started, so a later
// connect waits only for its next tick).
//
// Operations: the connect handshake (open, pause, RTS up, ACK within the
// reply time), sending a telegram with its echo check, reading a telegram
// with its request, the user string, and close (RTS down). Each connect, send
// and read can be started and awaited in two ways:
// - start...() returns at once; the matching ...Finished signal carries the
//   outcome (it may come before start...() returns, e.g. when a port cannot
//   be opened);
// - connectDisplay(), sendTelegram(), readTelegram() return the outcome once
//   the operation has ended, handling the thread's events meanwhile. They
//   block in the event loop, so a waiting caller costs no processor time, and
//   timers, received bytes and a window's clicks keep being served.
// One operation runs at a time: starting another ends the running one first,
// as cancel() does.
//
// While connected the display must send a byte (its ENQ alive signal) between
// two supervision ticks; otherwise the link closes and emits contactLost. A
// device that goes away while connected closes the link with portLost.
//
// Errors of the port that are not part of the protocol (a write queue that
// is full, a failing read) are EVaCommError exceptions, as the port raises
// them; the ones raised inside the port's own events go to the port's
// ApplicationExceptionHandler. All of it runs on the thread that created it.
//
// A LineMonitor, when set, records every byte the link writes and reads with
// what it means, the line events and the outcome of each operation. Without
// one the link formats and allocates nothing for it.
class DisplayLink : public QObject
{
    Q_OBJECT

public:
    enum class Telegram
    {
        Settings,
        Brightness
    };

    static constexpr int ReplyTimeoutMs = 3000;
    static constexpr int SupervisionIntervalMs = 1000;
    static constexpr int ConnectPauseMs = 500;
    // How long bytes that no operation waits for are collected.
    static constexpr int StrayLimitMs = 3000;

    // The request that reads a telegram, and the telegram's length.
    static QByteArray readRequest(Telegram telegram);
    static int telegramSize(Telegram telegram);

    explicit DisplayLink(QObject *parent = nullptr);
    ~DisplayLink() override;

    TVaComm *port() const { return m_port; }
    // Timer1, Timer2 or Timer3.
    QTimer *timer(int number) const;

    // The port to open: "COMn" through the ports map, a device path, or an
    // rfc2217://HOST:PORT target. A number chooses "COM<number>" (0: none).
    void setPortNumber(int number);
    void setPortName(const QString &name);
    QString portName() const;
    // What the chosen port reaches and where that came from.
    // Why the port went away, for the portLost() just emitted or the last
    // PortLost outcome ("the COM port server ... closed the connection").
    QString lossCause() const { return m_lossCause; }
    QString portDescription() const;

    // Asked at every supervision tick; a link whose condition does not hold
    // is never dropped for silence. Supervision is on by default.
    void setSupervisionCondition(std::function<bool()> supervise);

    // Where the traffic is recorded; nullptr (the default) records nothing.
    // The monitor stays the caller's; one that is destroyed is detached.
    void setLineMonitor(LineMonitor *monitor);
    LineMonitor *lineMonitor() const { return m_monitor; }

    bool isConnected() const { return m_connected; }
    // An operation waits for the display.
    bool isBusy() const { return m_operation != Operation::None; }
    // A blocking call (connectDisplay, sendTelegram, readTelegram) is on the
    // stack, possibly beneath a handler that runs inside its wait.
    bool isWaiting() const { return m_waitDepth > 0; }
    const ReplyState &replyState() const { return m_reply; }

    void startConnect();
    void startSend(const QByteArray &telegram);
    void startRead(Telegram telegram);

    ConnectOutcome connectDisplay();
    SendOutcome sendTelegram(const QByteArray &telegram);
    ReadOutcome readTelegram(Telegram telegram);

    // Expands the "#nnn" escapes and writes the bytes; nothing waits for an answer.
    UserStringOutcome sendUserString(const QByteArray &text);
    void sendEscape();
    void sendEscapeC();

    // Ends the running operation now: a transfer as timed out, a connect as
    // cancelled (its port closed; an open that waits for a port server fails
    // at once). The connection itself stays.
    void cancel();
    // Ends any operation, stops supervision, lowers RTS and closes the port.
    void close();

    // The receive path, run whenever the port reports received bytes.
    void receive();
    // The timers' ticks; the link runs them itself.
    void replyTimerTick();
    void supervisionTick();
    void pauseTick();

signals:
    void connectFinished(const ConnectOutcome &outcome);
    void sendFinished(const SendOutcome &outcome);
    void readFinished(const ReadOutcome &outcome);
    // The pause is over and RTS is up: the display's ACK is awaited now.
    void waitingForAck();
    // No byte came from the display within a supervision period; the link has closed.
    void contactLost();
    // The device went away while connected; the link has closed.
    void portLost();

private:
    enum class Operation
    {
        None,
        Connecting,
        Sending,
        Reading
    };

    void createTimers();
    void createPort();
    void onOpenFinished(const EVaCommError *error);
    ConnectOutcome openFailure(const std::exception &error) const;
    void onPortError(int errors);
    void raiseRts();
    void beginTransfer(Operation operation, int replyLength, const QByteArray &bytes);
    void prepareReply(int expectedLength);
    int readLimit() const;
    void discardStaleInput();
    bool waitsForReply() const;
    void startCollection(char firstByte);
    void collect(int from);
    void endCollection();
    void replyEnded();
    void finishConnect(ConnectOutcome outcome);
    void finishTransfer(bool timedOut);
    void dropConnection(void (DisplayLink::*signal)());
    void lowerRtsAndClose();
    UserStringOutcome writeUserString(const QByteArray &text, const QString &meaning);
    // Recording for the monitor; called only when one is set.
    void trace(LineMonitor::Direction direction, const QString &meaning,
               const QByteArray &bytes = {}) const;
    void traceWritten(int written, const QString &meaning, const QByteArray &bytes) const;
    void traceReceived(int from) const;
    void traceTransferEnd() const;
    void traceConnectEnd(const ConnectOutcome &outcome) const;
    QString sentMeaning() const;
    QString replyMeaning() const;
    template <typename Outcome, typename Start>
    Outcome runToEnd(void (DisplayLink::*finished)(const Outcome &), Start start);

    TVaComm *m_port = nullptr;
    QTimer *m_timers[3] = {};
    QTimer *m_strayLimit = nullptr;
    std::function<bool()> m_supervise;
    ReplyState m_reply;
    Operation m_operation = Operation::None;
    bool m_opening = false;
    bool m_awaitingAck = false;
    QByteArray m_sent;
    bool m_connected = false;
    bool m_collecting = false;
    int m_count = 0;
    int m_waitDepth = 0;
    QString m_lossCause;
    LineMonitor *m_monitor = nullptr;
    QMetaObject::Connection m_monitorGone;
};
