#include "OsError.h"

#include <cstring>

namespace OsError {

QString text(int code)
{
    char buffer[256];
    // The GNU variant returns a pointer that may or may not be the buffer.
    const char *message = strerror_r(code, buffer, sizeof buffer);
    return QString::fromLocal8Bit(message);
}

} // namespace OsError
