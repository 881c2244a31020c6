#include "TVaHandleObject.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

TVaHandleObject::TVaHandleObject(int handle) : m_handle(handle) {}

TVaHandleObject::~TVaHandleObject()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

TVaHandleObject::WaitResult TVaHandleObject::WaitFor(quint32 timeout)
{
    // poll(2) skips a negative descriptor and would wait out the time, for
    // ever when it is infinite: an object that was never created fails at
    // once and keeps the reason of its creation.
    if (m_handle < 0) {
        if (m_lastError == 0)
            m_lastError = EBADF;
        return Failed;
    }
    pollfd descriptor{m_handle, POLLIN, 0};
    const int milliseconds =
        timeout == Infinite ? -1 : static_cast<int>(qMin<quint32>(timeout, INT_MAX));
    for (;;) {
        const int ready = ::poll(&descriptor, 1, milliseconds);
        if (ready > 0 && (descriptor.revents & POLLIN))
            return Signaled;
        if (ready == 0)
            return TimedOut;
        if (ready < 0 && errno == EINTR)
            continue;
        m_lastError = ready < 0 ? errno : EBADF;
        return Failed;
    }
}
