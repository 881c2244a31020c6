#include "TermiosSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace TermiosSpeed {

bool setArbitrary(int fd, unsigned bitsPerSecond)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = bitsPerSecond;
    settings.c_ospeed = bitsPerSecond;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

unsigned read(int fd)
{
    struct termios2 settings;
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return 0;
    return settings.c_ospeed;
}

} // namespace TermiosSpeed
