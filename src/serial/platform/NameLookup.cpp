#include "NameLookup.h"

#include "OpenAbort.h"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace NameLookup {

namespace {

using Clock = std::chrono::steady_clock;

// The places for running lookups, as a semaphore that a wait can poll beside
// the open's abort, and what the program's end waits for. Never destroyed:
// a lookup thread may still release its place during the program's teardown.
struct Places
{
    const int semaphore = ::eventfd(MaxRunning, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    std::mutex mutex;
    std::condition_variable allDone;
    int running = 0;
    Clock::time_point latestEnd{};

    bool tryTake()
    {
        std::uint64_t one = 0;
        return ::read(semaphore, &one, sizeof one) == sizeof one;
    }
    void give()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(semaphore, &one, sizeof one);
    }
};

Places &places()
{
    static Places *const instance = new Places;
    return *instance;
}

// Waits at the program's end for the lookups still running, up to their deadlines.
struct WaitAtExit
{
    ~WaitAtExit()
    {
        Places &p = places();
        std::unique_lock lock(p.mutex);
        p.allDone.wait_until(lock, p.latestEnd, [&p] { return p.running == 0; });
    }
} waitAtExit;

// What a lookup thread hands over; shared, since the thread may outlive the wait.
struct Pending
{
    std::mutex mutex;
    const int doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int status = EAI_AGAIN;
    int systemError = 0;
    addrinfo *result = nullptr;

    ~Pending()
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

bool takePlace(Clock::time_point end, const OpenAbort *abort)
{
    Places &p = places();
    if (p.semaphore < 0)
        return false;
    while (!p.tryTake()) {
        if (waitForOpenStep(p.semaphore, POLLIN, end, abort) != OpenWait::Ready)
            return false;
    }
    const std::lock_guard lock(p.mutex);
    ++p.running;
    p.latestEnd = std::max(p.latestEnd, end);
    return true;
}

void leavePlace()
{
    Places &p = places();
    {
        const std::lock_guard lock(p.mutex);
        --p.running;
    }
    p.allDone.notify_all();
    p.give();
}

void lookUp(const std::shared_ptr<Pending> &pending, const QByteArray &host,
            const QByteArray &service)
{
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    wanted.ai_flags = AI_NUMERICSERV;
    addrinfo *result = nullptr;
    const int status = getaddrinfo(host.constData(), service.constData(), &wanted, &result);
    const int systemError = errno;
    {
        const std::lock_guard lock(pending->mutex);
        pending->status = status;
        pending->systemError = systemError;
        pending->result = result;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(pending->doneFd, &one, sizeof one);
}

} // namespace

AddressList resolve(const QByteArray &host, const QByteArray &service, Clock::time_point end,
                    const OpenAbort *abort)
{
    AddressList none(nullptr, &freeaddrinfo);
    auto pending = std::make_shared<Pending>();
    if (pending->doneFd < 0 || !takePlace(end, abort))
        return none;
    try {
        std::thread([pending, host, service] {
            lookUp(pending, host, service);
            leavePlace();
        }).detach();
    } catch (const std::system_error &error) {
        leavePlace();
        errno = error.code().value();
        return none;
    }
    if (waitForOpenStep(pending->doneFd, POLLIN, end, abort) != OpenWait::Ready)
        return none;
    const std::lock_guard lock(pending->mutex);
    if (pending->status != 0) {
        errno = errnoOfLookup(pending->status, pending->systemError);
        return none;
    }
    return AddressList(std::exchange(pending->result, nullptr), &freeaddrinfo);
}

int running()
{
    Places &p = places();
    const std::lock_guard lock(p.mutex);
    return p.running;
}

} // namespace NameLookup
