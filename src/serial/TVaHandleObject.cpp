#include "TVaHandleObject.h"

#include <cerrno>
#include <climits>

TVaHandleObject::TVaHandleObject(NativeHandle handle) : m_handle(handle) {}

TVaHandleObject::~TVaHandleObject()
{
    SignalObject::destroy(m_handle);
}

TVaHandleObject::WaitResult TVaHandleObject::WaitFor(quint32 timeout)
{
    // A wait would skip a missing handle and wait out the time, for ever when
    // it is infinite: an object that was never created fails at once and
    // keeps the reason of its creation.
    if (!Valid()) {
        if (m_lastError == 0)
            m_lastError = EBADF;
        return Failed;
    }
    const int milliseconds =
        timeout == Infinite ? -1 : static_cast<int>(qMin<quint32>(timeout, INT_MAX));
    const int ready = waitForAny({{m_handle, WaitFor::Input}}, milliseconds);
    if (ready == 0)
        return Signaled;
    if (ready == -1)
        return TimedOut;
    m_lastError = errno;
    return Failed;
}
