#include "OpenAbort.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

OpenAbort::OpenAbort() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

OpenAbort::~OpenAbort()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void OpenAbort::trip()
{
    if (m_tripped.exchange(true) || m_fd < 0)
        return;
    const std::uint64_t one = 1;
    // The counter is never read, so it stays readable once written.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

OpenWait waitForOpenStep(int fd, short events, std::chrono::steady_clock::time_point end,
                         const OpenAbort *abort)
{
    using namespace std::chrono;
    pollfd descriptors[2] = {{fd, events, 0}, {abort ? abort->fd() : -1, POLLIN, 0}};
    for (;;) {
        if (abort && abort->tripped()) {
            errno = ECANCELED;
            return OpenWait::Aborted;
        }
        const auto left = duration_cast<milliseconds>(end - steady_clock::now()).count();
        if (left <= 0) {
            errno = ETIMEDOUT;
            return OpenWait::TimedOut;
        }
        const int ready = ::poll(descriptors, 2, int(left));
        if (ready < 0 && errno != EINTR)
            return OpenWait::Failed;
        if (ready > 0 && descriptors[0].revents != 0 && !(abort && abort->tripped()))
            return OpenWait::Ready;
    }
}
