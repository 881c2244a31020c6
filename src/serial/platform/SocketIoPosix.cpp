#include "SocketIo.h"

#include <cerrno>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace SocketIo {

bool startUp()
{
    return true;
}

Handle create(int family, int type, int protocol)
{
    return ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

int connect(Handle socket, const sockaddr *address, int length)
{
    return ::connect(socket, address, socklen_t(length));
}

int pendingError(Handle socket)
{
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return -1;
    return error;
}

void setOption(Handle socket, int level, int name, int value)
{
    setsockopt(socket, level, name, &value, sizeof value);
}

long receive(Handle socket, char *buffer, long size, bool peek)
{
    return ::recv(socket, buffer, size_t(size), MSG_DONTWAIT | (peek ? MSG_PEEK : 0));
}

long send(Handle socket, const char *bytes, long size)
{
    // A peer that has gone must fail the write, not kill the program.
    return ::send(socket, bytes, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL);
}

void close(Handle socket)
{
    ::close(socket);
}

int poll(Handle socket, short events, int timeoutMs)
{
    pollfd descriptor{socket, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&descriptor, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready < 0 ? -1 : ready;
}

long inputWaiting(Handle socket)
{
    int waiting = 0;
    return ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : -1;
}

long outputUnacknowledged(Handle socket)
{
    int unsent = 0;
    return ioctl(socket, SIOCOUTQ, &unsent) == 0 ? unsent : 0;
}

bool isTransient(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

Signal::Signal(Handle socket) : m_socket(socket) {}
Signal::~Signal() = default;

bool Signal::valid() const
{
    return m_socket >= 0;
}

WaitItem Signal::item(short events) const
{
    return {m_socket, events};
}

void Signal::rearm() const {}

} // namespace SocketIo
