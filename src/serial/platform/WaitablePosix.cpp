#include "Waitable.h"

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

static_assert(WaitFor::Input == POLLIN && WaitFor::Output == POLLOUT);

int waitForAny(std::initializer_list<WaitItem> items, int timeoutMs)
{
    pollfd descriptors[8];
    nfds_t count = 0;
    for (const WaitItem &item : items) {
        if (count == std::size(descriptors)) {
            errno = EINVAL;
            return -2;
        }
        // poll(2) skips negative descriptors, so a missing item keeps its place.
        descriptors[count++] = {item.handle, item.events, 0};
    }
    int ready = 0;
    do {
        ready = ::poll(descriptors, count, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0)
        return -2;
    for (nfds_t i = 0; i < count; ++i) {
        if (descriptors[i].revents != 0)
            return int(i);
    }
    return -1;
}

namespace SignalObject {

NativeHandle create()
{
    return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

void destroy(NativeHandle handle)
{
    if (handle >= 0)
        ::close(handle);
}

bool set(NativeHandle handle)
{
    // The counter is above zero while the object is signalled; a full
    // counter is signalled already.
    const std::uint64_t one = 1;
    return ::write(handle, &one, sizeof one) >= 0 || errno == EAGAIN;
}

bool reset(NativeHandle handle)
{
    // The descriptor is non-blocking, so an unsignalled object reads nothing.
    std::uint64_t count = 0;
    return ::read(handle, &count, sizeof count) >= 0 || errno == EAGAIN;
}

} // namespace SignalObject
