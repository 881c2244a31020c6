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
    prepareReply(1);
    emit waitingForAck();
}

void DisplayLink::finishConnect(ConnectOutcome outcome)
{
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
    if (m_port->IsOpen()) {
        try {
            m_port->SetRts(false);
        } catch (const std::exception &) {
            // A device or server that is gone cannot lower RTS; the port is
            // closed all the same, so no dead port stays open.
        }
    }
    m_port->Close();
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
    dropConnection(&DisplayLink::contactLost);
}

void DisplayLink::onPortError(int errors)
{
    if (!(errors & CommError::DeviceIo))
        return;
    m_lossCause = m_port->RemovalCause();
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
        m_port->WriteBuf(bytes.constData(), int(bytes.size()));
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
    const std::optional<QByteArray> bytes = UserString::expand(text);
    if (!bytes)
        return UserStringOutcome::BadEscape;
    if (!bytes->isEmpty())
        m_port->WriteBuf(bytes->constData(), int(bytes->size()));
    return UserStringOutcome::Sent;
}

void DisplayLink::sendEscape()
{
    sendUserString(UserString::EscapeText);
}

void DisplayLink::sendEscapeC()
{
    sendUserString(UserString::EscapeCText);
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
        left -= got;
    }
}

void DisplayLink::receive()
{
    if (!m_collecting) {
        // ENQ is the display's alive signal, never the start of a reply. A
        // stream of nothing else is taken a queue's worth per report; the
        // next report of arrivals goes on with it.
        char byte = Enq;
        for (int left = readLimit(); byte == Enq; --left) {
            if (left == 0 || !m_port->ReadChar(byte))
                return;
            if (byte == Enq)
                m_reply.alive = true;
        }
        startCollection(byte);
    }
    collect();
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
void DisplayLink::collect()
{
    const int expected = std::min(m_reply.expectedLength, ReplyState::BufferSize);
    char byte = 0;
    while (m_count < expected && !m_reply.timeOut) {
        m_reply.alive = true;
        if (!m_port->ReadChar(byte))
            return;
        m_reply.buffer[m_count++] = quint8(byte);
    }
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
