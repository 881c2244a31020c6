#include "TVaEvent.h"

#include <cerrno>
#include <cstdint>
#include <unistd.h>

void TVaEvent::Signal()
{
    // An event that was never created keeps the reason in LastError.
    if (!Valid())
        return;
    const uint64_t one = 1;
    if (::write(Handle(), &one, sizeof one) < 0 && errno != EAGAIN)
        setLastError(errno);
}

void TVaEvent::Reset()
{
    if (!Valid())
        return;
    // The descriptor is non-blocking, so an unsignalled event reads nothing.
    uint64_t count = 0;
    if (::read(Handle(), &count, sizeof count) < 0 && errno != EAGAIN)
        setLastError(errno);
}
