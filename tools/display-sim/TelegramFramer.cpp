#include "TelegramFramer.h"

#include <array>

namespace {

constexpr char Esc = 0x1B;
// Ignored bytes are reported in pieces of this size at most, so that a flood
// is shown as it comes instead of piling up.
constexpr qsizetype MaxIgnoredRun = 64;

struct RecordType
{
    TelegramFramer::Kind kind;
    // The bytes that identify the record; the rest up to its length is content.
    QByteArrayView fixed;
    int length;
};

const std::array<RecordType, 4> &recordTypes()
{
    static const std::array<RecordType, 4> types{{
        {TelegramFramer::Kind::SettingsTelegram, "\x1bZE", TelegramFramer::SettingsLength},
        {TelegramFramer::Kind::BrightnessTelegram, "\x1bHT", TelegramFramer::BrightnessLength},
        {TelegramFramer::Kind::ReadSettingsRequest, "\x1bYA\r\n", 5},
        {TelegramFramer::Kind::ReadBrightnessRequest, "\x1bSt\r\n", 5},
    }};
    return types;
}

bool matchesSoFar(const RecordType &type, const QByteArray &record)
{
    const qsizetype n = std::min(record.size(), type.fixed.size());
    return record.size() <= type.length && QByteArrayView(record).first(n) == type.fixed.first(n);
}

} // namespace

QList<TelegramFramer::Frame> TelegramFramer::feed(QByteArrayView bytes, qint64 nowMs)
{
    QList<Frame> frames = expire(nowMs);
    for (const char byte : bytes)
        take(byte, frames);
    if (!bytes.isEmpty())
        m_lastByteMs = nowMs;
    return frames;
}

QList<TelegramFramer::Frame> TelegramFramer::expire(qint64 nowMs)
{
    QList<Frame> frames;
    if (!hasPending() || nowMs < deadlineMs())
        return frames;
    flushIgnored(frames);
    if (!m_record.isEmpty()) {
        frames.append({Kind::Incomplete, m_record});
        m_record.clear();
    }
    return frames;
}

void TelegramFramer::reset()
{
    m_record.clear();
    m_ignored.clear();
}

void TelegramFramer::take(char byte, QList<Frame> &frames)
{
    if (m_record.isEmpty()) {
        if (byte == Esc) {
            flushIgnored(frames);
            m_record.append(byte);
        } else {
            m_ignored.append(byte);
            if (m_ignored.size() >= MaxIgnoredRun)
                flushIgnored(frames);
        }
        return;
    }
    m_record.append(byte);
    for (const RecordType &type : recordTypes()) {
        if (m_record.size() == type.length && matchesSoFar(type, m_record)) {
            frames.append({type.kind, m_record});
            m_record.clear();
            return;
        }
    }
    if (recordCanContinue())
        return;
    // Only the newest byte can start another record: the ones before it matched
    // an identifying sequence, and none of those holds an ESC after its first byte.
    m_record.chop(1);
    m_ignored.append(m_record);
    m_record.clear();
    take(byte, frames);
}

bool TelegramFramer::recordCanContinue() const
{
    for (const RecordType &type : recordTypes()) {
        if (matchesSoFar(type, m_record))
            return true;
    }
    return false;
}

void TelegramFramer::flushIgnored(QList<Frame> &frames)
{
    if (m_ignored.isEmpty())
        return;
    frames.append({Kind::Ignored, m_ignored});
    m_ignored.clear();
}
