#include "Win32Error.h"

#include "Win32Errno.h"

#include <cerrno>
#include <winsock2.h>
#include <windows.h>

// Newer SDKs name it; older MinGW headers do not.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

namespace Win32Error {

int toErrno(unsigned long error)
{
    switch (error) {
    case ERROR_SUCCESS:
        return 0;
    // A port name that names nothing is no such port.
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    // A COM port is exclusive: someone else holding it shows as access denied.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return EBUSY;
    // What a driver says when its adapter is gone or has failed.
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_BAD_COMMAND:
    case ERROR_NOT_READY:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_FILE_INVALID:
    case ERROR_COUNTER_TIMEOUT:
        return EIO;
    case ERROR_SEM_TIMEOUT:
    case WAIT_TIMEOUT:
        return ETIMEDOUT;
    case ERROR_OPERATION_ABORTED:
        return ECANCELED;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return ENOTSUP;
    case WSAEWOULDBLOCK:
        return EWOULDBLOCK;
    case WSAEINPROGRESS:
        return EINPROGRESS;
    case WSAEINTR:
        return EINTR;
    case WSAECONNREFUSED:
        return ECONNREFUSED;
    case WSAECONNRESET:
        return ECONNRESET;
    case WSAECONNABORTED:
        return ECONNABORTED;
    case WSAETIMEDOUT:
        return ETIMEDOUT;
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
        return EHOSTUNREACH;
    case WSAENETUNREACH:
        return ENETUNREACH;
    case WSAENETDOWN:
        return ENETDOWN;
    case WSAENOTCONN:
    case WSAESHUTDOWN:
        return ENOTCONN;
    case WSAEADDRINUSE:
        return EADDRINUSE;
    case WSAEADDRNOTAVAIL:
        return EADDRNOTAVAIL;
    case WSAEAFNOSUPPORT:
        return EAFNOSUPPORT;
    case WSAENOBUFS:
        return ENOBUFS;
    case WSAEMFILE:
        return EMFILE;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
        return ENOENT;
    case WSATRY_AGAIN:
    case WSANO_RECOVERY:
        return EHOSTUNREACH;
    case WSANOTINITIALISED:
    case WSAENOTSOCK:
        return EBADF;
    default:
        // The rest reads as it does for files.
        return Win32Errno::fromWin32Error(error);
    }
}

int fromLastError()
{
    errno = toErrno(GetLastError());
    return errno;
}

int fromLastSocketError()
{
    errno = toErrno(static_cast<unsigned long>(WSAGetLastError()));
    return errno;
}

} // namespace Win32Error
