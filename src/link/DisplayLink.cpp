#include "DisplayLink.h"

#include "ApplicationExceptionHandler.h"
#include "DeviceNameFormat.h"
#include "EVaCommError.h"
#include "EventLoopWait.h"
#include "TVaBuffers.h"
#include "TVaComm.h"
#include "UserString.h"
#include "VaComm1Configuration.h"
#include "platform/CommTypes.h"
#include "platform/PortNameResolver.h"
#include "platform/PortOpenDiagnosis.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QTimer>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace {

constexpr char Enq = 0x05; // the display's alive signal
constexpr char Ack = 0x06; // its answer to RTS rising

// Sets an interval only when it differs: a new interval restarts a running timer.
void enableTimer(QTimer *timer, int interval)
{
    if (timer->interval() != interval)
        timer->setInterval(interval);
    if (!timer->isActive())
        timer->start();
}

QString errorText(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

QByteArray DisplayLink::readRequest(Telegram telegram)
{
    return telegram == Telegram::Settings ? QByteArray("\x1b"
                                                       "YA\r\n",
                                                       5)
                                          : QByteArray("\x1b"
                                                       "St\r\n",
                                                       5);
}

int DisplayLink::telegramSize(Telegram telegram)
{
    return telegram == Telegram::Settings ? 30 : 21;
}

DisplayLink::DisplayLink(QObject *parent) : QObject(parent), m_supervise([] { return true; })
{
    createTimers();
    createPort();
}

DisplayLink::~DisplayLink()
{
    m_operation = Operation::None;
    m_port->setOnRxChar({});
    m_port->setOnError({});
    m_port->setOnOpenFinished({});
    ApplicationExceptionHandler::guard([this] {
        if (m_port->IsOpen())
            m_port->Close();
    });
}

QTimer *DisplayLink::timer(int number) const
{
    return number >= 1 && number <= 3 ? m_timers[number - 1] : nullptr;
}

void DisplayLink::createTimers()
{
    const int intervals[3] = {ReplyTimeoutMs, SupervisionIntervalMs, ConnectPauseMs};
    void (DisplayLink::*ticks[3])() = {&DisplayLink::replyTimerTick, &DisplayLink::supervisionTick,
                                       &DisplayLink::pauseTick};
    for (int i = 0; i < 3; ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setObjectName(QStringLiteral("Timer%1").arg(i + 1));
        m_timers[i]->setInterval(intervals[i]);
        // Coarse timers may fire 5 % early; the time-outs and the pause are exact.
        m_timers[i]->setTimerType(Qt::PreciseTimer);
        connect(m_timers[i], &QTimer::timeout, this, ticks[i]);
    }
    m_strayLimit = new QTimer(this);
    m_strayLimit->setSingleShot(true);
    m_strayLimit->setInterval(StrayLimitMs);
    connect(m_strayLimit, &QTimer::timeout, this, [this] {
        if (m_collecting && !waitsForReply())
            endCollection();
    });
}

void DisplayLink::createPort()
{
    m_port = new TVaComm(this);
    m_port->setObjectName(QStringLiteral("VaComm1"));
    configureAsVaComm1(*m_port);
    m_port->setOnRxChar([this](QObject *, int) { receive(); });
    m_port->setOnError([this](QObject *, int errors) { onPortError(errors); });
    m_port->setOnOpenFinished(
        [this](QObject *, const EVaCommError *error) { onOpenFinished(error); });
}

// Port choice -----------------------------------------------------------------

void DisplayLink::setPortNumber(int number)
{
    m_port->setDeviceName(QStringLiteral("COM%d"));
    m_port->setPortNum(number);
}

void DisplayLink::setPortName(const QString &name)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,8})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(name);
    if (match.hasMatch()) {
        setPortNumber(match.captured(1).toInt());
        return;
    }
    // Taken as it stands: the name is no template for a number.
    m_port->setDeviceName(QString(name).replace(u'%', QStringLiteral("%%")));
    m_port->setPortNum(0);
}

QString DisplayLink::portName() const
{
    return FormatDeviceName(m_port->DeviceName(), m_port->PortNum());
}

QString DisplayLink::portDescription() const
{
    return PortNameResolver::describe(portName());
}

void DisplayLink::setSupervisionCondition(std::function<bool()> supervise)
{
    m_supervise = supervise ? std::move(supervise) : [] { return true; };
}

void DisplayLink::setLineMonitor(LineMonitor *monitor)
{
    disconnect(m_monitorGone);
    m_monitor = monitor;
    if (monitor)
        m_monitorGone =
            connect(monitor, &QObject::destroyed, this, [this] { m_monitor = nullptr; });
}

// Connect ---------------------------------------------------------------------

void DisplayLink::startConnect()
{
    cancel();
    m_connected = false;
    m_timers[1]->stop();
    m_port->ResetDevice();
    // The open reports its end as an event (a network port waits for its
    // server); the connect runs from here on, so that cancel() can end it.
    m_operation = Operation::Connecting;
    m_awaitingAck = false;
    m_opening = true;
    try {
        m_port->StartOpen();
    } catch (const std::exception &error) {
        m_opening = false;
        m_port->Close();
        finishConnect(openFailure(error));
    }
}

void DisplayLink::onOpenFinished(const EVaCommError *error)
{
    if (m_operation != Operation::Connecting || !m_opening)
        return;
    m_opening = false;
    if (error) {
        m_port->Close();
        finishConnect(openFailure(*error));
        return;
    }
    if (m_monitor)
        trace(LineMonitor::Direction::Line, QStringLiteral("port opened"));
    // The display needs the line quiet for a moment before RTS rises.
    enableTimer(m_timers[2], ConnectPauseMs);
    m_reply.pause = false;
}

ConnectOutcome DisplayLink::openFailure(const std::exception &error) const
{
    ConnectOutcome outcome{ConnectOutcome::Result::OpenFailed, errorText(error)};
    if (const auto *commError = dynamic_cast<const EVaCommError *>(&error)) {
        outcome.reason = commError->message();
        outcome.osError = commError->osError();
    }
    // One look for the hint: for a busy port it searches /proc for the holders.
    outcome.hint = PortOpenDiagnosis::hint(PortNameResolver::resolve(portName()), outcome.osError);
    outcome.explanation =
        PortOpenDiagnosis::explainWithHint(portName(), outcome.reason, outcome.hint);
    return outcome;
}

void DisplayLink::pauseTick()
{
    m_reply.pause = true;
    if (m_operation == Operation::Connecting && !m_opening && !m_awaitingAck)
        raiseRts();
}

void DisplayLink::raiseRts()
{
    m_awaitingAck = true;
    try {
        discardStaleInput();
        m_port->SetRts(true);
    } catch (const std::exception &error) {
        finishConnect({ConnectOutcome::Result::PortFailed, errorText(error)});
        return;
    }
    if (m_monitor)
        trace(LineMonitor::Direction::Line, QStringLiteral("RTS high"));
    prepareReply(1);
    emit waitingForAck();
}

void DisplayLink::finishConnect(ConnectOutcome outcome)
{
    if (m_monitor)
        traceConnectEnd(outcome);
    m_operation = Operation::None;
    m_timers[0]->stop();
    if (outcome.connected()) {
        m_connected = true;
        m_timers[1]->start();
    } else {
        lowerRtsAndClose();
    }
    emit connectFinished(outcome);
}

// Close and supervision -------------------------------------------------------

void DisplayLink::cancel()
{
    switch (m_operation) {
    case Operation::None:
        return;
    case Operation::Connecting:
        // A running open fails at once and reports it; the connect ends there.
        if (m_opening)
            m_port->AbortOpen();
        else
            finishConnect({ConnectOutcome::Result::Cancelled, {}});
        return;
    case Operation::Sending:
    case Operation::Reading:
        if (m_monitor)
            trace(LineMonitor::Direction::Note, QStringLiteral("ended before the reply came"));
        m_reply.timeOut = true;
        m_collecting = false;
        finishTransfer(true);
        return;
    }
}

void DisplayLink::close()
{
    cancel();
    m_timers[1]->stop();
    lowerRtsAndClose();
    m_connected = false;
}

void DisplayLink::lowerRtsAndClose()
{
    m_collecting = false;
    m_strayLimit->stop();
    if (!m_port->IsOpen()) {
        m_port->Close();
        return;
    }
    try {
        m_port->SetRts(false);
        if (m_monitor)
            trace(LineMonitor::Direction::Line, QStringLiteral("RTS low"));
    } catch (const std::exception &) {
        // A device or server that is gone cannot lower RTS; the port is
        // closed all the same, so no dead port stays open.
    }
    m_port->Close();
    if (m_monitor)
        trace(LineMonitor::Direction::Line, QStringLiteral("port closed"));
}

void DisplayLink::supervisionTick()
{
    if (!m_supervise())
        return;
    // A reply still being collected counts as a sign of life.
    if (m_reply.alive || m_collecting) {
        m_reply.alive = false;
        return;
    }
    if (m_monitor)
        trace(LineMonitor::Direction::Note,
              QStringLiteral("contact lost: no byte came within %1 ms").arg(SupervisionIntervalMs));
    dropConnection(&DisplayLink::contactLost);
}

void DisplayLink::onPortError(int errors)
{
    if (!(errors & CommError::DeviceIo))
        return;
    m_lossCause = m_port->RemovalCause();
    if (m_monitor)
        trace(LineMonitor::Direction::Note,
              m_lossCause.isEmpty() ? QStringLiteral("the port went away")
                                    : QStringLiteral("the port went away: ") + m_lossCause);
    if (m_connected)
        dropConnection(&DisplayLink::portLost);
    else if (m_operation == Operation::Connecting)
        finishConnect({ConnectOutcome::Result::PortLost, m_lossCause});
    else
        close();
}

void DisplayLink::dropConnection(void (DisplayLink::*signal)())
{
    close();
    emit(this->*signal)();
}

// Transfers -------------------------------------------------------------------

void DisplayLink::startSend(const QByteArray &telegram)
{
    if (telegram.isEmpty() || telegram.size() > ReplyState::BufferSize)
        throw std::invalid_argument("a telegram holds 1 to 41 bytes");
    beginTransfer(Operation::Sending, int(telegram.size()), telegram);
}

void DisplayLink::startRead(Telegram telegram)
{
    beginTransfer(Operation::Reading, telegramSize(telegram), readRequest(telegram));
}

void DisplayLink::beginTransfer(Operation operation, int replyLength, const QByteArray &bytes)
{
    cancel();
    m_operation = operation;
    m_sent = bytes;
    // The reply time counts from before the first byte leaves.
    prepareReply(replyLength);
    try {
        discardStaleInput();
        const int written = m_port->WriteBuf(bytes.constData(), int(bytes.size()));
        if (m_monitor)
            traceWritten(written, sentMeaning(), bytes);
    } catch (...) {
        m_operation = Operation::None;
        m_timers[0]->stop();
        throw;
    }
}

void DisplayLink::replyTimerTick()
{
    m_reply.timeOut = true;
    m_timers[0]->stop();
    if (m_collecting) {
        m_collecting = false;
        m_reply.replyComplete = true;
    }
    if (waitsForReply())
        replyEnded();
}

void DisplayLink::replyEnded()
{
    if (m_operation != Operation::Connecting) {
        if (m_monitor)
            traceTransferEnd();
        finishTransfer(m_reply.timeOut);
        return;
    }
    // A time-out counts first, even when a byte came as well.
    if (m_reply.timeOut)
        finishConnect({ConnectOutcome::Result::NoAck, {}});
    else if (m_reply.buffer[0] != quint8(Ack))
        finishConnect({ConnectOutcome::Result::WrongAnswer, {}, m_reply.buffer[0]});
    else
        finishConnect({ConnectOutcome::Result::Connected, {}});
}

void DisplayLink::finishTransfer(bool timedOut)
{
    const Operation operation = m_operation;
    m_operation = Operation::None;
    m_timers[0]->stop();
    const QByteArray received(reinterpret_cast<const char *>(m_reply.buffer.data()), m_count);
    if (operation == Operation::Sending) {
        SendOutcome outcome{SendOutcome::Result::Echoed, received};
        if (timedOut)
            outcome.result = SendOutcome::Result::TimedOut;
        else if (received != m_sent)
            outcome.result = SendOutcome::Result::EchoDiffers;
        emit sendFinished(outcome);
    } else {
        emit readFinished(
            {timedOut ? ReadOutcome::Result::TimedOut : ReadOutcome::Result::Done, received});
    }
}

UserStringOutcome DisplayLink::sendUserString(const QByteArray &text)
{
    return writeUserString(text, QStringLiteral("user string"));
}

void DisplayLink::sendEscape()
{
    writeUserString(UserString::EscapeText, QStringLiteral("ESC"));
}

void DisplayLink::sendEscapeC()
{
    writeUserString(UserString::EscapeCText, QStringLiteral("ESC C"));
}

UserStringOutcome DisplayLink::writeUserString(const QByteArray &text, const QString &meaning)
{
    const std::optional<QByteArray> bytes = UserString::expand(text);
    if (!bytes) {
        if (m_monitor)
            trace(LineMonitor::Direction::Note,
                  meaning + QStringLiteral(" not sent: a \"#\" is not followed by three digits"));
        return UserStringOutcome::BadEscape;
    }
    if (!bytes->isEmpty()) {
        const int written = m_port->WriteBuf(bytes->constData(), int(bytes->size()));
        if (m_monitor)
            traceWritten(written, meaning, *bytes);
    }
    return UserStringOutcome::Sent;
}

// Receive path ----------------------------------------------------------------

bool DisplayLink::waitsForReply() const
{
    return m_operation == Operation::Sending || m_operation == Operation::Reading ||
           (m_operation == Operation::Connecting && m_awaitingAck);
}

void DisplayLink::prepareReply(int expectedLength)
{
    m_collecting = false;
    m_count = 0;
    m_strayLimit->stop();
    m_reply.prepare(expectedLength);
    m_reply.timeOut = false;
    enableTimer(m_timers[0], ReplyTimeoutMs);
}

int DisplayLink::readLimit() const
{
    // One receive queue's worth: a port that is refilled as fast as it is
    // read must not hold this thread, or the window and signals would wait.
    return qMax(m_port->Buffers()->ReadSize(), 1);
}

void DisplayLink::discardStaleInput()
{
    // Bytes left over from before a request cannot belong to its reply; read
    // as its start they would shift every byte of it.
    m_collecting = false;
    m_strayLimit->stop();
    char bytes[512];
    for (int left = readLimit(); left > 0;) {
        const int got = m_port->ReadBuf(bytes, qMin(left, int(sizeof bytes)));
        if (got <= 0)
            return;
        if (std::memchr(bytes, Enq, size_t(got)))
            m_reply.alive = true;
        if (m_monitor)
            trace(LineMonitor::Direction::In, QStringLiteral("stale input, discarded"),
                  QByteArray(bytes, got));
        left -= got;
    }
}

void DisplayLink::receive()
{
    int from = m_count;
    if (!m_collecting) {
        // ENQ is the display's alive signal, never the start of a reply. A
        // stream of nothing else is taken a queue's worth per report; the
        // next report of arrivals goes on with it.
        char byte = Enq;
        int alive = 0;
        for (int left = readLimit(); byte == Enq; --left) {
            if (left == 0 || !m_port->ReadChar(byte)) {
                if (m_monitor && alive > 0)
                    trace(LineMonitor::Direction::In, QStringLiteral("alive signal"),
                          QByteArray(alive, Enq));
                return;
            }
            if (byte == Enq) {
                m_reply.alive = true;
                ++alive;
            }
        }
        if (m_monitor && alive > 0)
            trace(LineMonitor::Direction::In, QStringLiteral("alive signal"),
                  QByteArray(alive, Enq));
        startCollection(byte);
        from = 0;
    }
    collect(from);
}

void DisplayLink::startCollection(char firstByte)
{
    m_reply.buffer[0] = quint8(firstByte);
    m_count = 1;
    m_reply.alive = true;
    m_collecting = true;
    // Bytes that no operation waits for are collected for a bounded time only.
    if (!waitsForReply())
        m_strayLimit->start();
}

// Takes what has arrived, up to the expected length; a reply that is not
// whole yet goes on with the next bytes the port reports. Bytes beyond the
// expected length stay in the port's queue.
void DisplayLink::collect(int from)
{
    const int expected = std::min(m_reply.expectedLength, ReplyState::BufferSize);
    char byte = 0;
    while (m_count < expected && !m_reply.timeOut) {
        m_reply.alive = true;
        if (!m_port->ReadChar(byte))
            break;
        m_reply.buffer[m_count++] = quint8(byte);
    }
    // Recorded before the reply ends: its outcome may start the next operation.
    if (m_monitor)
        traceReceived(from);
    if (m_count < expected && !m_reply.timeOut)
        return;
    endCollection();
}

void DisplayLink::endCollection()
{
    m_collecting = false;
    m_strayLimit->stop();
    m_reply.replyComplete = true;
    if (waitsForReply())
        replyEnded();
}

// Waiting for the end ---------------------------------------------------------

template <typename Outcome, typename Start>
Outcome DisplayLink::runToEnd(void (DisplayLink::*finished)(const Outcome &), Start start)
{
    // The running operation ends first, so its outcome is not taken for this one.
    cancel();
    std::optional<Outcome> outcome;
    const QMetaObject::Connection connection =
        connect(this, finished, this, [&outcome](const Outcome &o) {
            if (!outcome)
                outcome = o;
        });
    ++m_waitDepth;
    const auto disconnect = qScopeGuard([this, &connection] {
        QObject::disconnect(connection);
        --m_waitDepth;
    });
    start();
    EventLoopWait::until([&outcome] { return outcome.has_value(); });
    return *outcome;
}

ConnectOutcome DisplayLink::connectDisplay()
{
    return runToEnd(&DisplayLink::connectFinished, [this] { startConnect(); });
}

SendOutcome DisplayLink::sendTelegram(const QByteArray &telegram)
{
    return runToEnd(&DisplayLink::sendFinished, [this, &telegram] { startSend(telegram); });
}

ReadOutcome DisplayLink::readTelegram(Telegram telegram)
{
    return runToEnd(&DisplayLink::readFinished, [this, telegram] { startRead(telegram); });
}

// Line monitor -----------------------------------------------------------------

void DisplayLink::trace(LineMonitor::Direction direction, const QString &meaning,
                        const QByteArray &bytes) const
{
    m_monitor->record(portName(), direction, meaning, bytes);
}

void DisplayLink::traceWritten(int written, const QString &meaning, const QByteArray &bytes) const
{
    // A closed port takes nothing, and nothing goes on the wire.
    if (written > 0)
        trace(LineMonitor::Direction::Out, meaning, bytes.left(written));
    else
        trace(LineMonitor::Direction::Note,
              meaning + QStringLiteral(" not sent: the port is closed"));
}

void DisplayLink::traceReceived(int from) const
{
    if (m_count > from)
        trace(LineMonitor::Direction::In, replyMeaning(),
              QByteArray(reinterpret_cast<const char *>(m_reply.buffer.data()) + from,
                         m_count - from));
}

QString DisplayLink::sentMeaning() const
{
    if (m_operation == Operation::Reading)
        return m_reply.expectedLength == telegramSize(Telegram::Settings)
                   ? QStringLiteral("read-settings request")
                   : QStringLiteral("read-brightness request");
    if (m_sent.size() == telegramSize(Telegram::Settings))
        return QStringLiteral("settings telegram");
    if (m_sent.size() == telegramSize(Telegram::Brightness))
        return QStringLiteral("brightness telegram");
    return QStringLiteral("telegram");
}

QString DisplayLink::replyMeaning() const
{
    switch (m_operation) {
    case Operation::Connecting:
        if (!m_awaitingAck)
            break;
        return m_reply.buffer[0] == quint8(Ack) ? QStringLiteral("ACK")
                                                : QStringLiteral("answer to RTS, not ACK");
    case Operation::Sending:
        if (m_sent.size() == telegramSize(Telegram::Settings))
            return QStringLiteral("settings echo");
        if (m_sent.size() == telegramSize(Telegram::Brightness))
            return QStringLiteral("brightness echo");
        return QStringLiteral("echo");
    case Operation::Reading:
        return m_reply.expectedLength == telegramSize(Telegram::Settings)
                   ? QStringLiteral("settings reply")
                   : QStringLiteral("brightness reply");
    case Operation::None:
        break;
    }
    return QStringLiteral("unexpected input");
}

void DisplayLink::traceTransferEnd() const
{
    const int expected = m_reply.expectedLength;
    if (m_reply.timeOut) {
        trace(LineMonitor::Direction::Note,
              QStringLiteral("time-out: %1 of %2 bytes came within %3 ms")
                  .arg(m_count)
                  .arg(expected)
                  .arg(ReplyTimeoutMs));
        return;
    }
    if (m_operation == Operation::Reading) {
        trace(LineMonitor::Direction::Note, QStringLiteral("reply complete"));
        return;
    }
    int differs = 0;
    while (differs < m_count && differs < m_sent.size() &&
           m_reply.buffer[size_t(differs)] == quint8(m_sent[differs]))
        ++differs;
    if (differs == m_count && m_count == m_sent.size()) {
        trace(LineMonitor::Direction::Note, QStringLiteral("echo matches"));
        return;
    }
    const char came = char(m_reply.buffer[size_t(differs)]);
    trace(LineMonitor::Direction::Note, QStringLiteral("echo differs at byte %1: sent %2, came %3")
                                            .arg(differs)
                                            .arg(LineMonitor::hexOf(m_sent.mid(differs, 1)),
                                                 LineMonitor::hexOf(QByteArray(1, came))));
}

void DisplayLink::traceConnectEnd(const ConnectOutcome &outcome) const
{
    QString text;
    switch (outcome.result) {
    case ConnectOutcome::Result::Connected:
        text = QStringLiteral("connected");
        break;
    case ConnectOutcome::Result::OpenFailed:
        text = QStringLiteral("cannot open the port: ") + outcome.reason;
        break;
    case ConnectOutcome::Result::NoAck:
        text = QStringLiteral("no ACK within %1 ms").arg(ReplyTimeoutMs);
        break;
    case ConnectOutcome::Result::WrongAnswer:
        text = QStringLiteral("wrong answer to RTS");
        break;
    case ConnectOutcome::Result::PortLost:
        // The reason holds the port's cause when it gave one.
        text = QStringLiteral("the port went away while connecting");
        if (!outcome.reason.isEmpty())
            text += QStringLiteral(": ") + outcome.reason;
        break;
    case ConnectOutcome::Result::PortFailed:
        text = QStringLiteral("port failed: ") + outcome.reason;
        break;
    case ConnectOutcome::Result::Cancelled:
        text = QStringLiteral("connect cancelled");
        break;
    }
    trace(LineMonitor::Direction::Note, text);
}
