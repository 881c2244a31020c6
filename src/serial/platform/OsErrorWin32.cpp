#include "OsError.h"

#include <cerrno>
#include <cstring>

namespace OsError {

QString text(int code)
{
    // The C runtime of Windows knows texts for the classic numbers only; the
    // network and time-out numbers get the texts they have on Linux, so that
    // an error reads the same on both systems.
    switch (code) {
    case EBUSY:
        return QStringLiteral("Device or resource busy");
    case ENOTTY:
        return QStringLiteral("Inappropriate ioctl for device");
    case EIO:
        return QStringLiteral("Input/output error");
    case ECANCELED:
        return QStringLiteral("Operation canceled");
    case ETIMEDOUT:
        return QStringLiteral("Connection timed out");
    case ECONNREFUSED:
        return QStringLiteral("Connection refused");
    case ECONNRESET:
        return QStringLiteral("Connection reset by peer");
    case ECONNABORTED:
        return QStringLiteral("Software caused connection abort");
    case EHOSTUNREACH:
        return QStringLiteral("No route to host");
    case ENETUNREACH:
        return QStringLiteral("Network is unreachable");
    case ENETDOWN:
        return QStringLiteral("Network is down");
    case ENOTCONN:
        return QStringLiteral("Transport endpoint is not connected");
    case EPROTONOSUPPORT:
        return QStringLiteral("Protocol not supported");
    case EADDRINUSE:
        return QStringLiteral("Address already in use");
    case EADDRNOTAVAIL:
        return QStringLiteral("Cannot assign requested address");
    case EAFNOSUPPORT:
        return QStringLiteral("Address family not supported by protocol");
    case ENOBUFS:
        return QStringLiteral("No buffer space available");
    case EINPROGRESS:
        return QStringLiteral("Operation now in progress");
    case EWOULDBLOCK:
        return QStringLiteral("Resource temporarily unavailable");
    case ENOTSUP:
        return QStringLiteral("Operation not supported");
    case ENODATA:
        return QStringLiteral("No data available");
    default:
        break;
    }
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace OsError
