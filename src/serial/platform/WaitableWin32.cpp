#include "Waitable.h"

#include "Win32Error.h"

#include <cerrno>
#include <windows.h>

int waitForAny(std::initializer_list<WaitItem> items, int timeoutMs)
{
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    int indexOf[MAXIMUM_WAIT_OBJECTS];
    DWORD count = 0;
    int index = 0;
    for (const WaitItem &item : items) {
        if (item.handle != NoHandle) {
            if (count == MAXIMUM_WAIT_OBJECTS) {
                errno = EINVAL;
                return -2;
            }
            handles[count] = item.handle;
            indexOf[count++] = index;
        }
        ++index;
    }
    const DWORD timeout = timeoutMs < 0 ? INFINITE : DWORD(timeoutMs);
    if (count == 0) {
        // Nothing to wait for but the time.
        if (timeout == INFINITE) {
            errno = EINVAL;
            return -2;
        }
        Sleep(timeout);
        return -1;
    }
    const DWORD result = WaitForMultipleObjects(count, handles, FALSE, timeout);
    if (result < WAIT_OBJECT_0 + count)
        return indexOf[result - WAIT_OBJECT_0];
    if (result >= WAIT_ABANDONED_0 && result < WAIT_ABANDONED_0 + count)
        return indexOf[result - WAIT_ABANDONED_0];
    if (result == WAIT_TIMEOUT)
        return -1;
    errno = Win32Error::toErrno(GetLastError());
    return -2;
}

namespace SignalObject {

NativeHandle create()
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event)
        errno = Win32Error::toErrno(GetLastError());
    return event;
}

void destroy(NativeHandle handle)
{
    if (handle)
        CloseHandle(handle);
}

bool set(NativeHandle handle)
{
    if (SetEvent(handle))
        return true;
    errno = Win32Error::toErrno(GetLastError());
    return false;
}

bool reset(NativeHandle handle)
{
    if (ResetEvent(handle))
        return true;
    errno = Win32Error::toErrno(GetLastError());
    return false;
}

} // namespace SignalObject
