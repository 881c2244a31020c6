#pragma once

#include <QByteArray>
#include <QList>

// Cuts the bytes that reach the display into what it understands: the settings
// telegram (30 bytes from ESC "Z" "E"), the brightness telegram (21 bytes from
// ESC "H" "T") and the two read requests (ESC "Y" "A" CR LF, ESC "S" "t" CR LF).
// A record is collected from its ESC to its length whatever the bytes inside,
// because brightness values may be 0x1B themselves. Everything else comes out as
// ignored bytes, and a record that stops arriving for InterByteTimeoutMs is dropped.
//
// It keeps no records and sends nothing; times are given by the caller in
// milliseconds of any monotonic clock.
class TelegramFramer
{
public:
    enum class Kind
    {
        SettingsTelegram,
        BrightnessTelegram,
        ReadSettingsRequest,
        ReadBrightnessRequest,
        Ignored,
        Incomplete,
    };
    struct Frame
    {
        Kind kind;
        QByteArray bytes;

        bool operator==(const Frame &other) const = default;
    };

    static constexpr qint64 InterByteTimeoutMs = 500;
    static constexpr int SettingsLength = 30;
    static constexpr int BrightnessLength = 21;

    QList<Frame> feed(QByteArrayView bytes, qint64 nowMs);
    // Hands out what the quiet line has ended: a record that stopped arriving or
    // the ignored bytes collected so far.
    QList<Frame> expire(qint64 nowMs);
    bool hasPending() const { return !m_record.isEmpty() || !m_ignored.isEmpty(); }
    qint64 deadlineMs() const { return m_lastByteMs + InterByteTimeoutMs; }
    void reset();

private:
    void take(char byte, QList<Frame> &frames);
    void flushIgnored(QList<Frame> &frames);
    bool recordCanContinue() const;

    QByteArray m_record;
    QByteArray m_ignored;
    qint64 m_lastByteMs = 0;
};
