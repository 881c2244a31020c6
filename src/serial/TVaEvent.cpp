#include "TVaEvent.h"

#include <cerrno>

void TVaEvent::Signal()
{
    // An event that was never created keeps the reason in LastError.
    if (Valid() && !SignalObject::set(Handle()))
        setLastError(errno);
}

void TVaEvent::Reset()
{
    if (Valid() && !SignalObject::reset(Handle()))
        setLastError(errno);
}
