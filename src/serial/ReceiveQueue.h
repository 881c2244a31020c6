#pragma once

#include "TVaWaitEvent.h"

#include <QByteArray>
#include <mutex>

class CommDevice;

// The component's own receive queue. Whoever reads the device (the event
// thread while it waits, or a read on the main thread that finds too few bytes
// queued) appends here under the queue's lock, so bytes keep their order and
// the count is exact. Appending applies the line's input filter (received zero
// bytes dropped when asked) and notes the arrivals that the event thread
// reports later: new bytes, the event character, the queue 80 % full.
//
// Every change signals ChangedEvent(), which the event thread waits on.
class ReceiveQueue
{
public:
    struct Filter
    {
        bool stripNulls = false;
        char eventChar = 0;
    };
    enum class PullResult
    {
        Appended,
        Nothing,
        Failed
    };

    // `limit`: how many bytes the queue holds before it stops reading the device.
    explicit ReceiveQueue(int limit);

    void SetFilter(const Filter &filter);

    // Reads what the device holds, without waiting, until the queue reaches its
    // limit. Failed leaves the device's reason in errno.
    PullResult PullFrom(CommDevice &device);

    int Take(char *buffer, int max);
    int Count() const;
    bool Full() const;
    void Clear();
    // The line event bits (RxChar, RxFlag, Rx80Full) noted since the last call.
    quint32 TakeArrivals();

    TVaWaitEvent &ChangedEvent() { return m_changed; }

private:
    void append(const char *bytes, int count);

    mutable std::mutex m_mutex;
    QByteArray m_bytes;
    const int m_limit;
    Filter m_filter;
    quint32 m_arrivals = 0;
    TVaWaitEvent m_changed;
};
