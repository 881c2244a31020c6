#include "DisplayDevice.h"

#include "DisplayRecordText.h"
#include "PacedLine.h"

DisplayDevice::DisplayDevice(const DisplaySimOptions &options, PacedLine *output, QObject *parent)
    : QObject(parent), m_options(options), m_output(output), m_settings(defaultSettingsRecord()),
      m_brightness(defaultBrightnessRecord())
{
    m_clock.start();
    m_enqTimer.setInterval(EnqIntervalMs);
    m_enqTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_enqTimer, &QTimer::timeout, this, &DisplayDevice::sendEnq);
    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, &DisplayDevice::expireFrame);
}

QByteArray DisplayDevice::defaultSettingsRecord()
{
    return QByteArray("\x1bZES0B0C0P0A001V00K0N0DFT000\r\n");
}

QByteArray DisplayDevice::defaultBrightnessRecord()
{
    return QByteArray::fromHex("1B4854"
                               "0106080C1016273246"
                               "5A6EA0BEC8D2F0"
                               "0D0A");
}

void DisplayDevice::receive(const QByteArray &bytes)
{
    for (const TelegramFramer::Frame &frame : m_framer.feed(bytes, m_clock.elapsed()))
        handleFrame(frame);
    restartFrameTimer();
}

void DisplayDevice::setRts(bool high)
{
    if (high == m_rts)
        return;
    m_rts = high;
    emit note(high ? QStringLiteral("rts: high") : QStringLiteral("rts: low"));
    if (!high) {
        m_enqTimer.stop();
        return;
    }
    m_rtsHigh.start();
    m_enqTimer.start();
    if (m_options.silent)
        return;
    answer(QByteArray(1, char(m_options.rtsAnswer)), m_options.rtsAnswer == DisplaySimOptions::Ack
                                                         ? QStringLiteral("ACK")
                                                         : QStringLiteral("answer to RTS"));
}

void DisplayDevice::disconnectLine()
{
    m_rts = false;
    m_enqTimer.stop();
    m_frameTimer.stop();
    m_framer.reset();
}

void DisplayDevice::handleFrame(const TelegramFramer::Frame &frame)
{
    using Kind = TelegramFramer::Kind;
    const QString bytes = DisplayRecordText::hex(frame.bytes);
    switch (frame.kind) {
    case Kind::SettingsTelegram:
        emit note("rx: settings telegram " + bytes);
        echo(frame.bytes);
        adopt(m_settings, frame, "display settings: " + DisplayRecordText::settings(frame.bytes));
        return;
    case Kind::BrightnessTelegram:
        emit note("rx: brightness telegram " + bytes);
        echo(frame.bytes);
        adopt(m_brightness, frame,
              "display brightness: " + DisplayRecordText::brightness(frame.bytes));
        return;
    case Kind::ReadSettingsRequest:
        emit note(QStringLiteral("rx: read-settings request"));
        answer(m_settings, QStringLiteral("settings record"));
        return;
    case Kind::ReadBrightnessRequest:
        emit note(QStringLiteral("rx: read-brightness request"));
        answer(m_brightness, QStringLiteral("brightness record"));
        return;
    case Kind::Ignored:
        emit note("rx: ignored " + bytes);
        return;
    case Kind::Incomplete:
        emit note(QStringLiteral("rx: dropped incomplete record (no byte for %1 ms): %2")
                      .arg(TelegramFramer::InterByteTimeoutMs)
                      .arg(bytes));
        return;
    }
}

void DisplayDevice::adopt(QByteArray &record, const TelegramFramer::Frame &frame,
                          const QString &shown)
{
    record = frame.bytes;
    emit note(shown);
    emit telegramReceived(frame.bytes);
}

void DisplayDevice::echo(const QByteArray &telegram)
{
    QByteArray out = telegram;
    if (m_options.corruptEchoOffset && *m_options.corruptEchoOffset < out.size())
        out[*m_options.corruptEchoOffset] = char(out[*m_options.corruptEchoOffset] ^ 0x01);
    if (m_options.enqInEcho)
        out.insert(out.size() / 2, Enq);
    answer(out, QStringLiteral("echo"));
}

void DisplayDevice::answer(const QByteArray &bytes, const QString &what)
{
    if (m_options.silent) {
        emit note("tx: nothing (silent), would send " + what);
        return;
    }
    emit note(QStringLiteral("tx: %1 %2").arg(what, DisplayRecordText::hex(bytes)));
    m_output->push(bytes);
}

void DisplayDevice::sendEnq()
{
    if (m_options.stopEnqAfter && m_rtsHigh.elapsed() >= m_options.stopEnqAfter->count()) {
        m_enqTimer.stop();
        emit note(QStringLiteral("enq: stopped after %1 ms of RTS high")
                      .arg(m_options.stopEnqAfter->count()));
        return;
    }
    if (m_options.silent || m_output->isBusy())
        return;
    m_output->push(QByteArray(1, Enq));
}

void DisplayDevice::expireFrame()
{
    for (const TelegramFramer::Frame &frame : m_framer.expire(m_clock.elapsed()))
        handleFrame(frame);
    restartFrameTimer();
}

void DisplayDevice::restartFrameTimer()
{
    if (!m_framer.hasPending()) {
        m_frameTimer.stop();
        return;
    }
    m_frameTimer.start(int(std::max<qint64>(0, m_framer.deadlineMs() - m_clock.elapsed())));
}
