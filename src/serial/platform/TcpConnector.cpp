#include "TcpConnector.h"

#include "NameLookup.h"
#include "OpenAbort.h"

#include <QByteArray>
#include <cerrno>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace TcpConnector {

namespace {

using Clock = std::chrono::steady_clock;

// Probing starts after this many seconds without traffic, repeats at the
// interval, and gives up after the count; unacknowledged data fails after
// the user time-out.
constexpr int KeepAliveIdleSeconds = 5;
constexpr int KeepAliveIntervalSeconds = 2;
constexpr int KeepAliveProbes = 3;
constexpr unsigned UserTimeoutMs = 10000;

using AddressList = NameLookup::AddressList;

// Addresses written as numbers need no lookup and no thread.
AddressList numericAddress(const QByteArray &host, const QByteArray &service)
{
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    wanted.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo *result = nullptr;
    if (getaddrinfo(host.constData(), service.constData(), &wanted, &result) != 0)
        return AddressList(nullptr, &freeaddrinfo);
    return AddressList(result, &freeaddrinfo);
}

using SocketIo::setOption;

void tuneSocket(SocketIo::Handle socket)
{
    setOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(socket, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef _WIN32
    // Windows takes the probe times in one control call, in milliseconds,
    // and gives up after its own count of probes (10).
    tcp_keepalive probes{1, KeepAliveIdleSeconds * 1000u, KeepAliveIntervalSeconds * 1000u};
    DWORD returned = 0;
    WSAIoctl(SOCKET(socket), SIO_KEEPALIVE_VALS, &probes, sizeof probes, nullptr, 0, &returned,
             nullptr, nullptr);
#ifdef TCP_MAXRT
    setOption(socket, IPPROTO_TCP, TCP_MAXRT, int(UserTimeoutMs / 1000));
#endif
#else
    setOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleSeconds);
    setOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalSeconds);
    setOption(socket, IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes);
    setOption(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, int(UserTimeoutMs));
#endif
}

// Waits for a connection in progress; 0 on success, else the error number.
int finishConnect(SocketIo::Handle socket, Clock::time_point end, const OpenAbort *abort)
{
    if (waitForSocket(socket, WaitFor::Output, end, abort) != OpenWait::Ready)
        return errno;
    const int error = SocketIo::pendingError(socket);
    return error < 0 ? errno : error;
}

SocketIo::Handle connectOne(const addrinfo &address, Clock::time_point end,
                            const OpenAbort *abort)
{
    const SocketIo::Handle socket =
        SocketIo::create(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (socket == SocketIo::Invalid)
        return SocketIo::Invalid;
    int error = 0;
    if (SocketIo::connect(socket, address.ai_addr, int(address.ai_addrlen)) != 0)
        error = errno == EINPROGRESS ? finishConnect(socket, end, abort) : errno;
    if (error != 0) {
        SocketIo::close(socket);
        errno = error;
        return SocketIo::Invalid;
    }
    tuneSocket(socket);
    return socket;
}

} // namespace

SocketIo::Handle connectTo(const QString &host, quint16 port, std::chrono::milliseconds timeout,
                           const OpenAbort *abort)
{
    if (!SocketIo::startUp())
        return SocketIo::Invalid;
    const Clock::time_point end = Clock::now() + timeout;
    const QByteArray hostName = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    AddressList addresses = numericAddress(hostName, service);
    if (!addresses)
        addresses = NameLookup::resolve(hostName, service, end, abort);
    if (!addresses)
        return SocketIo::Invalid;
    int left = 0;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next)
        ++left;
    // Each address gets its share of what time is left, so that one that
    // never answers (IPv6 on a network without it, say) leaves time for the
    // next one (IPv4).
    int lastError = EHOSTUNREACH;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next, --left) {
        const Clock::time_point shareEnd = Clock::now() + (end - Clock::now()) / left;
        const SocketIo::Handle socket = connectOne(*address, shareEnd, abort);
        if (socket != SocketIo::Invalid)
            return socket;
        lastError = errno;
        if (lastError == ECANCELED)
            break;
    }
    errno = lastError;
    return SocketIo::Invalid;
}

} // namespace TcpConnector
