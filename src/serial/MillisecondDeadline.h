#pragma once

#include <QtGlobal>

// A time limit on the 32-bit millisecond tick count. Elapsed time is taken
// modulo 2^32, so the counter's wrap-around (every 49.7 days) is harmless.
class MillisecondDeadline
{
public:
    explicit MillisecondDeadline(quint32 timeout) : MillisecondDeadline(TickCount(), timeout) {}
    MillisecondDeadline(quint32 startTick, quint32 timeout) : m_start(startTick), m_timeout(timeout)
    {}

    // The monotonic clock in milliseconds, truncated to 32 bits.
    static quint32 TickCount();

    bool Expired() const { return ExpiredAt(TickCount()); }
    bool ExpiredAt(quint32 tick) const { return Elapsed(tick) > m_timeout; }
    quint32 RemainingAt(quint32 tick) const;

private:
    quint32 Elapsed(quint32 tick) const { return tick - m_start; }

    quint32 m_start;
    quint32 m_timeout;
};
