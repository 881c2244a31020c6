#include "TVaWaitEvent.h"

#include <cerrno>
#include <sys/eventfd.h>

TVaWaitEvent::TVaWaitEvent() : TVaEvent(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    // A failed creation leaves an invalid handle whose waits fail with the cause.
    if (Handle() < 0)
        setLastError(errno);
}
