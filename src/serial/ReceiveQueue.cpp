#include "ReceiveQueue.h"

#include "platform/CommDevice.h"
#include "platform/CommTypes.h"

#include <cstring>

ReceiveQueue::ReceiveQueue(int limit) : m_limit(qMax(limit, 1)) {}

void ReceiveQueue::SetFilter(const Filter &filter)
{
    const std::lock_guard lock(m_mutex);
    m_filter = filter;
}

ReceiveQueue::PullResult ReceiveQueue::PullFrom(CommDevice &device)
{
    const std::lock_guard lock(m_mutex);
    PullResult result = PullResult::Nothing;
    char chunk[4096];
    while (m_bytes.size() < m_limit) {
        const int room = qMin<int>(int(sizeof chunk), m_limit - int(m_bytes.size()));
        const int got = device.read(chunk, room);
        if (got < 0)
            return PullResult::Failed;
        if (got == 0)
            break;
        append(chunk, got);
        result = PullResult::Appended;
        if (got < room)
            break;
    }
    return result;
}

// Called with the lock held.
void ReceiveQueue::append(const char *bytes, int count)
{
    const qsizetype before = m_bytes.size();
    for (int i = 0; i < count; ++i) {
        if (bytes[i] == 0 && m_filter.stripNulls)
            continue;
        m_bytes.append(bytes[i]);
        if (bytes[i] == m_filter.eventChar)
            m_arrivals |= CommEvent::RxFlag;
    }
    if (m_bytes.size() == before)
        return;
    m_arrivals |= CommEvent::RxChar;
    const qsizetype eightyPercent = (qsizetype(m_limit) * 8 + 9) / 10;
    if (before < eightyPercent && m_bytes.size() >= eightyPercent)
        m_arrivals |= CommEvent::Rx80Full;
    m_changed.Signal();
}

int ReceiveQueue::Take(char *buffer, int max)
{
    const std::lock_guard lock(m_mutex);
    const int count = qMin<int>(max, int(m_bytes.size()));
    if (count <= 0)
        return 0;
    std::memcpy(buffer, m_bytes.constData(), size_t(count));
    m_bytes.remove(0, count);
    // Room again: the event thread may read the device once more.
    m_changed.Signal();
    return count;
}

int ReceiveQueue::Count() const
{
    const std::lock_guard lock(m_mutex);
    return int(m_bytes.size());
}

bool ReceiveQueue::Full() const
{
    const std::lock_guard lock(m_mutex);
    return m_bytes.size() >= m_limit;
}

void ReceiveQueue::Clear()
{
    const std::lock_guard lock(m_mutex);
    m_bytes.clear();
    m_changed.Signal();
}

quint32 ReceiveQueue::TakeArrivals()
{
    const std::lock_guard lock(m_mutex);
    const quint32 arrivals = m_arrivals;
    m_arrivals = 0;
    return arrivals;
}
