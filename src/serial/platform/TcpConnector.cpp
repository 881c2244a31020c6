#include "TcpConnector.h"

#include "OpenAbort.h"

#include <QByteArray>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

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

using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;

// A name lookup that may outlive the wait for it: getaddrinfo(3) cannot be
// cancelled, so it runs on a thread of its own and delivers here. It signals
// the descriptor when it is done, so that the wait can also watch for an abort.
struct PendingLookup
{
    std::mutex mutex;
    const int doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    bool finished = false;
    int status = EAI_AGAIN;
    int systemError = 0;
    addrinfo *result = nullptr;

    ~PendingLookup()
    {
        if (result)
            freeaddrinfo(result);
        if (doneFd >= 0)
            ::close(doneFd);
    }
};

int errnoOfLookup(int status, int systemError)
{
    switch (status) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_FAMILY:
        return ENOENT;
    case EAI_MEMORY:
        return ENOMEM;
    case EAI_SYSTEM:
        return systemError != 0 ? systemError : EIO;
    default:
        return EHOSTUNREACH;
    }
}

addrinfo hints(int flags)
{
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    wanted.ai_flags = flags;
    return wanted;
}

// Addresses written as numbers need no lookup and no thread.
AddressList numericAddress(const QByteArray &host, const QByteArray &service)
{
    const addrinfo wanted = hints(AI_NUMERICHOST | AI_NUMERICSERV);
    addrinfo *result = nullptr;
    if (getaddrinfo(host.constData(), service.constData(), &wanted, &result) != 0)
        return AddressList(nullptr, &freeaddrinfo);
    return AddressList(result, &freeaddrinfo);
}

AddressList lookUpName(const QByteArray &host, const QByteArray &service, Clock::time_point end,
                       const OpenAbort *abort)
{
    auto lookup = std::make_shared<PendingLookup>();
    if (lookup->doneFd < 0)
        return AddressList(nullptr, &freeaddrinfo);
    std::thread([lookup, host, service] {
        const addrinfo wanted = hints(AI_NUMERICSERV);
        addrinfo *result = nullptr;
        const int status = getaddrinfo(host.constData(), service.constData(), &wanted, &result);
        const int systemError = errno;
        const std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->systemError = systemError;
        lookup->result = result;
        lookup->finished = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(lookup->doneFd, &one, sizeof one);
    }).detach();

    if (waitForOpenStep(lookup->doneFd, POLLIN, end, abort) != OpenWait::Ready)
        return AddressList(nullptr, &freeaddrinfo);
    const std::lock_guard lock(lookup->mutex);
    if (lookup->status != 0) {
        errno = errnoOfLookup(lookup->status, lookup->systemError);
        return AddressList(nullptr, &freeaddrinfo);
    }
    return AddressList(std::exchange(lookup->result, nullptr), &freeaddrinfo);
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
        addresses = lookUpName(hostName, service, end, abort);
    if (!addresses)
        return -1;
    int lastError = EHOSTUNREACH;
    for (const addrinfo *address = addresses.get(); address; address = address->ai_next) {
        const int fd = connectOne(*address, end, abort);
        if (fd >= 0)
            return fd;
        lastError = errno;
        if (lastError == ETIMEDOUT || lastError == ECANCELED)
            break;
    }
    errno = lastError;
    return -1;
}

} // namespace TcpConnector
