#pragma once

#include "SocketIo.h"
#include "Waitable.h"

#include <atomic>
#include <chrono>

// Ends the waits of a device open (for a network port server's connection and
// answers) from another thread. Whoever waits watches item() beside its own
// object; trip() signals it for good, so every later wait of that open ends
// at once too. Tripping twice, or after the open, changes nothing.
class OpenAbort
{
public:
    OpenAbort();
    ~OpenAbort();
    OpenAbort(const OpenAbort &) = delete;
    OpenAbort &operator=(const OpenAbort &) = delete;

    void trip();
    bool tripped() const { return m_tripped.load(); }
    WaitItem item() const { return {m_signal, WaitFor::Input}; }

private:
    NativeHandle m_signal;
    std::atomic<bool> m_tripped{false};
};

enum class OpenWait
{
    Ready,
    TimedOut,
    Aborted,
    Failed
};

// Waits until `item` is ready, the time runs out or the open is aborted
// (`abort` may be null). A deadline that has passed ends the wait even when the
// item is ready, so that a peer that never stops sending cannot stretch the
// limit. Sets errno to ETIMEDOUT or ECANCELED when it does not return Ready.
OpenWait waitForOpenStep(WaitItem item, std::chrono::steady_clock::time_point end,
                         const OpenAbort *abort);
// The same for `events` (WaitFor::Input, WaitFor::Output) on a socket, through
// the socket's own signal when it has one (Windows allows one a socket).
OpenWait waitForSocket(SocketIo::Handle socket, short events,
                       std::chrono::steady_clock::time_point end, const OpenAbort *abort);
OpenWait waitForSocket(const SocketIo::Signal &signal, SocketIo::Handle socket, short events,
                       std::chrono::steady_clock::time_point end, const OpenAbort *abort);
