#pragma once

#include <atomic>
#include <chrono>

// Ends the waits of a device open (for a network port server's connection and
// answers) from another thread. Whoever waits polls fd() beside its own
// descriptor; trip() makes it readable for good, so every later wait of that
// open ends at once too. Tripping twice, or after the open, changes nothing.
class OpenAbort
{
public:
    OpenAbort();
    ~OpenAbort();
    OpenAbort(const OpenAbort &) = delete;
    OpenAbort &operator=(const OpenAbort &) = delete;

    void trip();
    bool tripped() const { return m_tripped.load(); }
    int fd() const { return m_fd; }

private:
    int m_fd;
    std::atomic<bool> m_tripped{false};
};

enum class OpenWait
{
    Ready,
    TimedOut,
    Aborted,
    Failed
};

// Waits until `fd` shows `events`, the time runs out or the open is aborted
// (`abort` may be null). A deadline that has passed ends the wait even when the
// descriptor is ready, so that a peer that never stops sending cannot stretch
// the limit. Sets errno to ETIMEDOUT or ECANCELED when it does not return Ready.
OpenWait waitForOpenStep(int fd, short events, std::chrono::steady_clock::time_point end,
                         const OpenAbort *abort);
