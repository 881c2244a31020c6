#pragma once

#include "Waitable.h"

#include <cstdint>

struct sockaddr;

// The few socket calls the network back end makes, the same on Linux and on
// Windows (Winsock). Sockets are non-blocking and not inherited; failures
// leave an errno value (Winsock's codes are translated), so that the open
// errors read alike on both systems.
namespace SocketIo {

#ifdef _WIN32
using Handle = std::uintptr_t;
#else
using Handle = int;
#endif
inline constexpr Handle Invalid = Handle(-1);

// Starts the socket library once; false with errno when it cannot be used.
bool startUp();

Handle create(int family, int type, int protocol);
// 0 when connected, else -1 with errno (EINPROGRESS while it goes on).
int connect(Handle socket, const sockaddr *address, int length);
// The error a connection in progress ended with (0: connected), -1 with errno.
int pendingError(Handle socket);
// A refused option costs only what it would have improved.
void setOption(Handle socket, int level, int name, int value);
// recv/send without waiting: the count, 0 at the end of the stream (receive),
// or -1 with errno.
long receive(Handle socket, char *buffer, long size, bool peek = false);
long send(Handle socket, const char *bytes, long size);
void close(Handle socket);
// Waits up to timeoutMs (< 0: no limit) for `events` (WaitFor::Input,
// WaitFor::Output) or a hang-up: 1 ready, 0 time-out, -1 failure.
int poll(Handle socket, short events, int timeoutMs);
// Bytes received and not read yet, -1 with errno.
long inputWaiting(Handle socket);
// Bytes sent and not acknowledged by the peer yet; 0 where the system does
// not tell (Windows).
long outputUnacknowledged(Handle socket);
// Whether a failed receive or send just means "not now".
bool isTransient(int error);

// What a thread waits on for a socket's events beside other objects. On Linux
// the socket itself; on Windows an event object that the socket signals
// (WSAEventSelect), which stays signalled until rearm(): rearm it before each
// look at the socket, never after, or an event can be missed.
class Signal
{
public:
    explicit Signal(Handle socket);
    ~Signal();
    Signal(const Signal &) = delete;
    Signal &operator=(const Signal &) = delete;

    bool valid() const;
    WaitItem item(short events) const;
    void rearm() const;

private:
    Handle m_socket;
    NativeHandle m_event = NoHandle;
};

} // namespace SocketIo
