#include "NameLookup.h"

#include "OpenAbort.h"

#include "SocketIo.h"
#include "Waitable.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#endif

namespace NameLookup {

namespace {

using Clock = std::chrono::steady_clock;

// The places for running lookups, with a signal that is set while one is
// free, so that a wait can watch it beside the open's abort, and what the
// program's end waits for. Never destroyed: a lookup thread may still release
// its place during the program's teardown.
struct Places
{
    const NativeHandle placeFree = makeFreeSignal();
    std::mutex mutex;
    std::condition_variable allDone;
    int running = 0;
    Clock::time_point latestEnd{};

    static NativeHandle makeFreeSignal()
    {
        const NativeHandle signal = SignalObject::create();
        if (signal != NoHandle)
            SignalObject::set(signal);
        return signal;
    }
    // Called with the mutex held.
    bool tryTake(Clock::time_point end)
    {
        if (running == MaxRunning)
            return false;
        if (++running == MaxRunning)
            SignalObject::reset(placeFree);
        latestEnd = std::max(latestEnd, end);
        return true;
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
    const NativeHandle done = SignalObject::create();
    int status = EAI_AGAIN;
    int systemError = 0;
    addrinfo *result = nullptr;

    ~Pending()
    {
        if (result)
            freeaddrinfo(result);
        SignalObject::destroy(done);
    }
};

int errnoOfLookup(int status, [[maybe_unused]] int systemError)
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
#ifdef EAI_SYSTEM
    case EAI_SYSTEM:
        return systemError != 0 ? systemError : EIO;
#endif
    default:
        return EHOSTUNREACH;
    }
}

bool takePlace(Clock::time_point end, const OpenAbort *abort)
{
    Places &p = places();
    if (p.placeFree == NoHandle)
        return false;
    for (;;) {
        {
            const std::lock_guard lock(p.mutex);
            if (p.tryTake(end))
                return true;
        }
        if (waitForOpenStep({p.placeFree, WaitFor::Input}, end, abort) != OpenWait::Ready)
            return false;
    }
}

void leavePlace()
{
    Places &p = places();
    {
        const std::lock_guard lock(p.mutex);
        --p.running;
        SignalObject::set(p.placeFree);
    }
    p.allDone.notify_all();
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
    SignalObject::set(pending->done);
}

} // namespace

AddressList resolve(const QByteArray &host, const QByteArray &service, Clock::time_point end,
                    const OpenAbort *abort)
{
    AddressList none(nullptr, &freeaddrinfo);
    auto pending = std::make_shared<Pending>();
    if (pending->done == NoHandle || !SocketIo::startUp() || !takePlace(end, abort))
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
    if (waitForOpenStep({pending->done, WaitFor::Input}, end, abort) != OpenWait::Ready)
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
