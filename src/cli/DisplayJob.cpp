#include "DisplayJob.h"

#include "DisplayLink.h"
#include "JobRunner.h"
#include "RecordCheck.h"
#include "TVaComm.h"
#include "platform/CommTypes.h"
#include "platform/PortNameResolver.h"

#include <QTimer>

namespace {

// 11 bit times a byte (start, 8 data, 2 stop) at the display's 300 baud.
constexpr double MsPerByte = 11 * 1000.0 / 300;

QByteArray bytesOf(const std::uint8_t *data, int size)
{
    return QByteArray(reinterpret_cast<const char *>(data), size);
}

QString hexOf(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QStringLiteral("nothing")
                           : QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The failure text with what caused it, when the port said.
QString withCause(const QString &text, const QString &cause)
{
    return cause.isEmpty() ? text : text + QStringLiteral(": ") + cause;
}

// Connects `signal` of `sender` to `handler` for its next emission only.
template <typename Signal, typename Handler>
void once(DisplayLink *sender, Signal signal, QObject *context, Handler handler)
{
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        QObject::connect(sender, signal, context, [connection, handler](const auto &value) {
            QObject::disconnect(*connection);
            handler(value);
        });
}

} // namespace

QString JobPlan::operationName() const
{
    switch (kind) {
    case Kind::ReadSettings:
        return QStringLiteral("read-settings");
    case Kind::ReadBrightness:
        return QStringLiteral("read-brightness");
    case Kind::SendSettings:
        return QStringLiteral("send-settings");
    case Kind::SendBrightness:
        return QStringLiteral("send-brightness");
    case Kind::Apply:
        return QStringLiteral("apply");
    case Kind::UserString:
        return QStringLiteral("user-string");
    }
    return {};
}

DisplayJob::DisplayJob(const QString &port, const JobPlan &plan, QObject *parent)
    : QObject(parent), m_port(port), m_plan(plan), m_link(new DisplayLink(this))
{
    m_result.port = port;
    m_result.operation = plan.operationName();
    m_link->setPortName(port);
    // The ports close one after another on this thread; the runner waits
    // once after the last one instead of after each.
    m_link->port()->setPauseAfterClose(0);
    m_link->setLineMonitor(JobRunner::lineMonitor());
    connect(m_link, &DisplayLink::contactLost, this, [this] {
        fail(QStringLiteral("contact-lost"),
             QStringLiteral("contact lost: the display sent no alive signal for a second"));
    });
    connect(m_link, &DisplayLink::portLost, this, [this] {
        fail(QStringLiteral("port-lost"), withCause(QStringLiteral("the port went away"),
                                                    m_link->lossCause()));
    });
}

DisplayJob::~DisplayJob()
{
    if (m_link->port()->IsOpen())
        m_link->close();
}

void DisplayJob::start()
{
    m_clock.start();
    planSteps();
    next();
}

void DisplayJob::abort()
{
    fail(QStringLiteral("cancelled"), QStringLiteral("stopped by a signal"));
}

void DisplayJob::planSteps()
{
    m_steps << [this] { connectStep(); };
    const auto keep = [this](bool settings) {
        return [this, settings](const QByteArray &record) {
            recordOf(settings) = record;
            next();
        };
    };
    switch (m_plan.kind) {
    case JobPlan::Kind::ReadSettings:
        m_steps << [this, keep] { readStep(true, true, keep(true)); };
        break;
    case JobPlan::Kind::ReadBrightness:
        m_steps << [this, keep] { readStep(false, true, keep(false)); };
        break;
    case JobPlan::Kind::SendSettings:
        m_steps <<
            [this] { sendStep(true, bytesOf(m_plan.settings->data(), SettingsTelegram::Size)); };
        break;
    case JobPlan::Kind::SendBrightness:
        m_steps << [this] {
            sendStep(false, bytesOf(m_plan.brightness->data(), BrightnessTelegram::Size));
        };
        break;
    case JobPlan::Kind::Apply:
        if (m_plan.settings)
            m_steps << [this] {
                applyStep(true, bytesOf(m_plan.settings->data(), SettingsTelegram::Size));
            };
        if (m_plan.brightness)
            m_steps << [this] {
                applyStep(false, bytesOf(m_plan.brightness->data(), BrightnessTelegram::Size));
            };
        break;
    case JobPlan::Kind::UserString:
        m_steps << [this] { userStringStep(); };
        break;
    }
}

void DisplayJob::next()
{
    if (m_finished)
        return;
    if (m_steps.isEmpty()) {
        finish();
        return;
    }
    const Step step = m_steps.takeFirst();
    // A step runs from the event loop, never inside the handler that ended
    // the one before (the link may report an outcome before its start returns).
    QTimer::singleShot(0, this, [this, step] {
        if (m_finished)
            return;
        ++m_stepDepth;
        try {
            step();
        } catch (const std::exception &error) {
            fail(QStringLiteral("port-failed"), QString::fromUtf8(error.what()));
        }
        --m_stepDepth;
    });
}

void DisplayJob::setActivity(const QString &activity)
{
    m_activity = activity;
    emit activityChanged();
}

void DisplayJob::fail(const QString &reason, const QString &text)
{
    if (m_finished)
        return;
    m_result.outcome = QStringLiteral("failed");
    m_result.reason = reason;
    m_result.error = text;
    finish();
}

void DisplayJob::failTransfer(const QString &reason, const QString &text)
{
    // A transfer also ends when the connection goes; the link then reports
    // why right after, and that reason is the one that counts.
    QTimer::singleShot(0, this, [this, reason, text] { fail(reason, text); });
}

void DisplayJob::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_steps.clear();
    if (m_result.outcome.isEmpty())
        m_result.outcome = m_plan.kind != JobPlan::Kind::Apply ? QStringLiteral("done")
                           : m_changed                         ? QStringLiteral("changed")
                                                               : QStringLiteral("unchanged");
    try {
        m_link->close();
    } catch (const std::exception &) {
        // A port that is gone is closed all the same; the outcome stands.
    }
    m_result.milliseconds = m_clock.isValid() ? m_clock.elapsed() : 0;
    setActivity(m_result.failed() ? QStringLiteral("failed") : QStringLiteral("done"));
    emit finished();
}

void DisplayJob::connectStep()
{
    setActivity(QStringLiteral("connecting"));
    once(m_link, &DisplayLink::connectFinished, this,
         [this](const ConnectOutcome &outcome) { onConnected(outcome); });
    m_link->startConnect();
}

void DisplayJob::onConnected(const ConnectOutcome &outcome)
{
    using Result = ConnectOutcome::Result;
    switch (outcome.result) {
    case Result::Connected:
        next();
        return;
    case Result::OpenFailed:
        m_result.hint = outcome.hint;
        fail(QStringLiteral("cannot-open"),
             QStringLiteral("cannot open %1: %2")
                 .arg(PortNameResolver::resolve(m_port), outcome.reason));
        return;
    case Result::NoAck:
        fail(QStringLiteral("no-ack"),
             QStringLiteral("no ACK: the display did not answer RTS within %1 s")
                 .arg(DisplayLink::ReplyTimeoutMs / 1000));
        return;
    case Result::WrongAnswer:
        fail(QStringLiteral("wrong-answer"),
             QStringLiteral("wrong answer: the display answered RTS with 0x%1 instead of ACK")
                 .arg(outcome.answer, 2, 16, QLatin1Char('0')));
        return;
    case Result::PortLost:
        fail(QStringLiteral("port-lost"),
             withCause(QStringLiteral("the port went away while connecting"), outcome.reason));
        return;
    case Result::PortFailed:
        fail(QStringLiteral("port-failed"), outcome.reason);
        return;
    case Result::Cancelled:
        fail(QStringLiteral("cancelled"), QStringLiteral("the connect was cancelled"));
        return;
    }
}

std::optional<QByteArray> &DisplayJob::recordOf(bool settings)
{
    return settings ? m_result.settings : m_result.brightness;
}

void DisplayJob::readStep(bool settings, bool mustDecode,
                          std::function<void(const QByteArray &)> then)
{
    const QString what = settings ? QStringLiteral("settings") : QStringLiteral("brightness");
    setActivity(QStringLiteral("reading ") + what);
    once(m_link, &DisplayLink::readFinished, this,
         [this, what, settings, mustDecode, then](const ReadOutcome &outcome) {
             if (outcome.result != ReadOutcome::Result::Done) {
                 failTransfer(
                     QStringLiteral("time-out"),
                     QStringLiteral("time-out: no whole %1 record came within %2 s (received %3)")
                         .arg(what)
                         .arg(DisplayLink::ReplyTimeoutMs / 1000)
                         .arg(hexOf(outcome.bytes)));
                 return;
             }
             const auto problem = !mustDecode ? std::nullopt
                                  : settings  ? RecordCheck::settingsProblem(outcome.bytes)
                                              : RecordCheck::brightnessProblem(outcome.bytes);
             if (problem) {
                 recordOf(settings) = outcome.bytes;
                 fail(QStringLiteral("bad-record"), QStringLiteral("bad record: %1 (received %2)")
                                                        .arg(*problem, hexOf(outcome.bytes)));
                 return;
             }
             then(outcome.bytes);
         });
    m_link->startRead(settings ? DisplayLink::Telegram::Settings
                               : DisplayLink::Telegram::Brightness);
}

void DisplayJob::sendStep(bool settings, const QByteArray &telegram)
{
    const QString what = settings ? QStringLiteral("settings") : QStringLiteral("brightness");
    setActivity(QStringLiteral("sending ") + what);
    once(m_link, &DisplayLink::sendFinished, this,
         [this, what, telegram, settings](const SendOutcome &outcome) {
             switch (outcome.result) {
             case SendOutcome::Result::Echoed:
                 recordOf(settings) = telegram;
                 m_changed = true;
                 next();
                 return;
             case SendOutcome::Result::TimedOut:
                 failTransfer(
                     QStringLiteral("time-out"),
                     QStringLiteral("time-out: the %1 record's echo did not come whole within "
                                    "%2 s (received %3)")
                         .arg(what)
                         .arg(DisplayLink::ReplyTimeoutMs / 1000)
                         .arg(hexOf(outcome.received)));
                 return;
             case SendOutcome::Result::EchoDiffers:
                 fail(QStringLiteral("echo-differs"),
                      QStringLiteral("the echo differs: sent %1, received %2")
                          .arg(hexOf(telegram), hexOf(outcome.received)));
                 return;
             }
         });
    m_link->startSend(telegram);
}

void DisplayJob::applyStep(bool settings, const QByteArray &wanted)
{
    // What the display holds need not decode: such a record differs from the
    // wanted one and is replaced like any other.
    readStep(settings, false, [this, settings, wanted](const QByteArray &held) {
        recordOf(settings) = held;
        if (held != wanted) {
            // The send and the read-back are steps of their own, run by next()
            // like every step, never from inside the link's signal.
            m_steps.prepend([this, settings, wanted] { verifyStep(settings, wanted); });
            m_steps.prepend([this, settings, wanted] { sendStep(settings, wanted); });
        }
        next();
    });
}

void DisplayJob::verifyStep(bool settings, const QByteArray &wanted)
{
    // Only what the display holds after the send counts.
    readStep(settings, true, [this, settings, wanted](const QByteArray &after) {
        recordOf(settings) = after;
        if (after != wanted) {
            fail(QStringLiteral("verify-differs"),
                 QStringLiteral("the display holds %1 after the send, not %2")
                     .arg(hexOf(after), hexOf(wanted)));
            return;
        }
        next();
    });
}

void DisplayJob::userStringStep()
{
    setActivity(QStringLiteral("sending the user string"));
    if (m_link->sendUserString(m_plan.userText) == UserStringOutcome::BadEscape) {
        fail(QStringLiteral("bad-escape"),
             QStringLiteral("a \"#\" in the user string is not followed by three digits"));
        return;
    }
    // The bytes are on their way; the port closes once the line has carried them.
    drainStep(int(m_plan.userText.size() * MsPerByte));
}

std::optional<bool> DisplayJob::outputDrained()
{
    TVaComm *port = m_link->port();
    if (!port->IsOpen())
        return std::nullopt;
    quint32 errors = 0;
    CommStatus status;
    try {
        port->ReadCommStatus(errors, status);
    } catch (const std::exception &) {
        return std::nullopt;
    }
    if (errors & CommError::DeviceIo)
        return std::nullopt;
    return status.outQueue == 0;
}

void DisplayJob::drainStep(int wireMs)
{
    // The write queue may look empty before the write thread has handed the
    // bytes on, and a port server still sends what it holds: the port closes
    // only once the bytes' wire time and a margin have passed. A port that
    // goes away meanwhile ends the job, whatever the queue said before.
    constexpr int MarginMs = 500;
    wireMs += MarginMs;
    const int budgetMs = wireMs + DisplayLink::ReplyTimeoutMs;
    auto *poll = new QTimer(this);
    poll->setInterval(50);
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    connect(poll, &QTimer::timeout, this, [this, poll, waited, wireMs, budgetMs] {
        const auto stop = [poll] {
            poll->stop();
            poll->deleteLater();
        };
        if (m_finished) {
            stop();
            return;
        }
        const std::optional<bool> drained = outputDrained();
        if (!drained) {
            stop();
            fail(QStringLiteral("port-lost"),
                 QStringLiteral("the port went away before the user string had left it"));
            return;
        }
        if (waited->elapsed() < wireMs)
            return;
        if (*drained) {
            stop();
            next();
        } else if (waited->elapsed() > budgetMs) {
            stop();
            fail(QStringLiteral("time-out"),
                 QStringLiteral("time-out: the user string did not leave the port"));
        }
    });
    poll->start();
}
