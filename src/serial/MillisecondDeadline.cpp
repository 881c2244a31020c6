#include "MillisecondDeadline.h"

#include <ctime>

quint32 MillisecondDeadline::TickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const quint64 milliseconds = quint64(now.tv_sec) * 1000u + quint64(now.tv_nsec) / 1000000u;
    return static_cast<quint32>(milliseconds);
}

quint32 MillisecondDeadline::RemainingAt(quint32 tick) const
{
    const quint32 elapsed = Elapsed(tick);
    return elapsed >= m_timeout ? 0 : m_timeout - elapsed;
}
