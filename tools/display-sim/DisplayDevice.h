#pragma once

#include "DisplaySimOptions.h"
#include "TelegramFramer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class PacedLine;

// The display at the end of the serial line. It answers RTS rising with ACK,
// sends ENQ every 500 ms while RTS is high, echoes settings and brightness
// telegrams and adopts them as its records, and answers the two read requests
// with the records it holds. The faults of DisplaySimOptions change this on purpose.
//
// An ENQ never goes out while an answer is still on the line: inside an echo it
// would break the sender's comparison, and the answer itself shows that the
// display is alive. The device neither knows about Telnet nor paces its bytes:
// it writes to the output line it is given, which does.
class DisplayDevice : public QObject
{
    Q_OBJECT

public:
    static constexpr char Enq = 0x05;
    static constexpr int EnqIntervalMs = 500;

    DisplayDevice(const DisplaySimOptions &options, PacedLine *output, QObject *parent = nullptr);

    static QByteArray defaultSettingsRecord();
    static QByteArray defaultBrightnessRecord();

    QByteArray settingsRecord() const { return m_settings; }
    QByteArray brightnessRecord() const { return m_brightness; }
    bool rts() const { return m_rts; }

    // Bytes that have arrived over the input line.
    void receive(const QByteArray &bytes);
    void setRts(bool high);
    // The line is gone: RTS low, a half-received record forgotten. The records stay.
    void disconnectLine();

signals:
    void note(const QString &line);
    // A telegram has arrived whole and the display has adopted it.
    void telegramReceived(const QByteArray &telegram);

private:
    void handleFrame(const TelegramFramer::Frame &frame);
    void adopt(QByteArray &record, const TelegramFramer::Frame &frame, const QString &shown);
    void echo(const QByteArray &telegram);
    void answer(const QByteArray &bytes, const QString &what);
    void sendEnq();
    void expireFrame();
    void restartFrameTimer();

    DisplaySimOptions m_options;
    PacedLine *m_output;
    TelegramFramer m_framer;
    QByteArray m_settings;
    QByteArray m_brightness;
    bool m_rts = false;
    QElapsedTimer m_clock;
    QElapsedTimer m_rtsHigh;
    QTimer m_enqTimer;
    QTimer m_frameTimer;
};
