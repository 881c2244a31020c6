#include "TcpConnector.h"

#include "NameLookup.h"
#include "OpenAbort.h"

#include <QByteArray>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

void setOption(int fd, int level, int name, int value)
{
    // A refused option costs only the early notice of a dead network.
    setsockopt(fd, level, name, &value, sizeof value);
}

void tuneSocket(int fd)
{
    setOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    setOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    setOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, KeepAliveIdleSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, KeepAliveIntervalSeconds);
    setOption(fd, IPPROTO_TCP, TCP_KEEPCNT, KeepAliveProbes);
    setOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, int(UserTimeoutMs));
}

// Waits for a connection in progress; 0 on success, else the error number.
int finishConnect(int fd, Clock::time_point end, const OpenAbort *abort)
{
    if (waitForOpenStep(fd, POLLOUT, end, abort) != OpenWait::Ready)
        return errno;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        return errno;
    return error;
}

int connectOne(const addrinfo &address, Clock::time_point end, const OpenAbort *abort)
{
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                            address.ai_protocol);
    if (fd < 0)
        return -1;
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0)
        error = errno == EINPROGRESS ? finishConnect(fd, end, abort) : errno;
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    tuneSocket(fd);
    return fd;
}

} // namespace

int connectTo(const QString &host, quint16 port, std::chrono::milliseconds timeout,
              const OpenAbort *abort)
{
    const Clock::time_point end = Clock::now() + timeout;
    const QByteArray hostName = host.toUtf8();
    const QByteArray service = QByteArray::number(port);
    AddressList addresses = numericAddress(hostName, service);
    if (!addresses)
        addresses = NameLookup::resolve(hostName, service, end, abort);
    if (!addresses)
        return -1;
    int left = 0;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next)
        ++left;
    // Each address gets its share of what time is left, so that one that
    // never answers (IPv6 on a network without it, say) leaves time for the
    // next one (IPv4).
    int lastError = EHOSTUNREACH;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next, --left) {
        const Clock::time_point shareEnd = Clock::now() + (end - Clock::now()) / left;
        const int fd = connectOne(*address, shareEnd, abort);
        if (fd >= 0)
            return fd;
        lastError = errno;
        if (lastError == ECANCELED)
            break;
    }
    errno = lastError;
    return -1;
}

} // namespace TcpConnector
