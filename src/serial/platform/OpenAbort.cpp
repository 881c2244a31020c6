#include "OpenAbort.h"

#include <cerrno>

OpenAbort::OpenAbort() : m_signal(SignalObject::create()) {}

OpenAbort::~OpenAbort()
{
    SignalObject::destroy(m_signal);
}

void OpenAbort::trip()
{
    if (m_tripped.exchange(true) || m_signal == NoHandle)
        return;
    // Never reset, so it stays signalled once set.
    SignalObject::set(m_signal);
}

namespace {

using Clock = std::chrono::steady_clock;

// Whether the wait must end before looking: aborted or out of time; the
// milliseconds left otherwise.
bool stopsHere(Clock::time_point end, const OpenAbort *abort, OpenWait &result, int &left)
{
    using namespace std::chrono;
    if (abort && abort->tripped()) {
        errno = ECANCELED;
        result = OpenWait::Aborted;
        return true;
    }
    const auto remaining = duration_cast<milliseconds>(end - Clock::now()).count();
    if (remaining <= 0) {
        errno = ETIMEDOUT;
        result = OpenWait::TimedOut;
        return true;
    }
    left = int(remaining);
    return false;
}

} // namespace

OpenWait waitForOpenStep(WaitItem item, Clock::time_point end, const OpenAbort *abort)
{
    const WaitItem aborted = abort ? abort->item() : WaitItem{};
    for (;;) {
        OpenWait result = OpenWait::Ready;
        int left = 0;
        if (stopsHere(end, abort, result, left))
            return result;
        const int ready = waitForAny({item, aborted}, left);
        if (ready == -2 && errno != EINTR)
            return OpenWait::Failed;
        if (ready == 0 && !(abort && abort->tripped()))
            return OpenWait::Ready;
    }
}

OpenWait waitForSocket(SocketIo::Handle socket, short events, Clock::time_point end,
                       const OpenAbort *abort)
{
    const SocketIo::Signal signal(socket);
    return waitForSocket(signal, socket, events, end, abort);
}

OpenWait waitForSocket(const SocketIo::Signal &signal, SocketIo::Handle socket, short events,
                       Clock::time_point end, const OpenAbort *abort)
{
    if (!signal.valid())
        return OpenWait::Failed;
    const WaitItem aborted = abort ? abort->item() : WaitItem{};
    for (;;) {
        OpenWait result = OpenWait::Ready;
        int left = 0;
        if (stopsHere(end, abort, result, left))
            return result;
        // Rearmed before the look, so that what happens after it still wakes the wait.
        signal.rearm();
        const int now = SocketIo::poll(socket, events, 0);
        if (now < 0)
            return OpenWait::Failed;
        if (now > 0)
            return OpenWait::Ready;
        const int ready = waitForAny({signal.item(events), aborted}, left);
        if (ready == -2 && errno != EINTR)
            return OpenWait::Failed;
    }
}
