#include "SocketIo.h"

#include "Win32Error.h"

#include <cerrno>
#include <mutex>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace SocketIo {

bool startUp()
{
    static std::once_flag once;
    static int startError = 0;
    std::call_once(once, [] {
        WSADATA data;
        startError = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (startError != 0) {
        errno = Win32Error::toErrno(DWORD(startError));
        return false;
    }
    return true;
}

Handle create(int family, int type, int protocol)
{
    if (!startUp())
        return Invalid;
    // Not inherited, so a program started meanwhile cannot keep the port open.
    const SOCKET socket = WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        Win32Error::fromLastSocketError();
        return Invalid;
    }
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        Win32Error::fromLastSocketError();
        closesocket(socket);
        return Invalid;
    }
    return Handle(socket);
}

int connect(Handle socket, const sockaddr *address, int length)
{
    if (::connect(SOCKET(socket), address, length) == 0)
        return 0;
    // A non-blocking connect that goes on says "would block".
    const int error = WSAGetLastError();
    errno = error == WSAEWOULDBLOCK ? EINPROGRESS : Win32Error::toErrno(DWORD(error));
    return -1;
}

int pendingError(Handle socket)
{
    int error = 0;
    int length = sizeof error;
    if (getsockopt(SOCKET(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error),
                   &length) != 0) {
        Win32Error::fromLastSocketError();
        return -1;
    }
    return Win32Error::toErrno(DWORD(error));
}

void setOption(Handle socket, int level, int name, int value)
{
    DWORD word = DWORD(value);
    setsockopt(SOCKET(socket), level, name, reinterpret_cast<const char *>(&word), sizeof word);
}

long receive(Handle socket, char *buffer, long size, bool peek)
{
    const int got = recv(SOCKET(socket), buffer, int(size), peek ? MSG_PEEK : 0);
    if (got == SOCKET_ERROR) {
        Win32Error::fromLastSocketError();
        return -1;
    }
    return got;
}

long send(Handle socket, const char *bytes, long size)
{
    const int sent = ::send(SOCKET(socket), bytes, int(size), 0);
    if (sent == SOCKET_ERROR) {
        Win32Error::fromLastSocketError();
        return -1;
    }
    return sent;
}

void close(Handle socket)
{
    closesocket(SOCKET(socket));
}

int poll(Handle socket, short events, int timeoutMs)
{
    WSAPOLLFD descriptor{};
    descriptor.fd = SOCKET(socket);
    descriptor.events = (events & WaitFor::Input ? POLLRDNORM : 0) |
                        (events & WaitFor::Output ? POLLWRNORM : 0);
    const int ready = WSAPoll(&descriptor, 1, timeoutMs);
    if (ready == SOCKET_ERROR) {
        Win32Error::fromLastSocketError();
        return -1;
    }
    return ready > 0 && descriptor.revents != 0 ? 1 : 0;
}

long inputWaiting(Handle socket)
{
    u_long waiting = 0;
    if (ioctlsocket(SOCKET(socket), FIONREAD, &waiting) != 0) {
        Win32Error::fromLastSocketError();
        return -1;
    }
    return long(waiting);
}

long outputUnacknowledged(Handle)
{
    return 0;
}

bool isTransient(int error)
{
    return error == EWOULDBLOCK || error == EAGAIN || error == EINTR || error == EINPROGRESS;
}

Signal::Signal(Handle socket) : m_socket(socket)
{
    m_event = WSACreateEvent();
    if (m_event == WSA_INVALID_EVENT) {
        m_event = NoHandle;
        return;
    }
    if (WSAEventSelect(SOCKET(socket), m_event,
                       FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE | FD_OOB) != 0) {
        WSACloseEvent(m_event);
        m_event = NoHandle;
    }
}

Signal::~Signal()
{
    if (m_event == NoHandle)
        return;
    // Leaves the socket as it was for whoever waits on it next; it stays
    // non-blocking, which is what this back end wants anyway.
    WSAEventSelect(SOCKET(m_socket), nullptr, 0);
    WSACloseEvent(m_event);
}

bool Signal::valid() const
{
    return m_event != NoHandle;
}

WaitItem Signal::item(short events) const
{
    return {m_event, events};
}

void Signal::rearm() const
{
    if (m_event == NoHandle)
        return;
    WSANETWORKEVENTS events;
    // Takes the recorded events and resets the object in one step.
    WSAEnumNetworkEvents(SOCKET(m_socket), m_event, &events);
}

} // namespace SocketIo
