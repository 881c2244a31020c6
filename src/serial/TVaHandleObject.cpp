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
