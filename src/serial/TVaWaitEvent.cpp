#include "TVaWaitEvent.h"

#include <cerrno>

TVaWaitEvent::TVaWaitEvent() : TVaEvent(SignalObject::create())
{
    // A failed creation leaves an invalid handle whose waits fail with the cause.
    if (!Valid())
        setLastError(errno);
}
