#pragma once

// Windows only: the errno value that stands for a Win32 error code, so that
// file errors raised on Windows carry the same texts as on Linux (see
// EInOutError::fromErrno). Codes without a counterpart become EIO.
namespace Win32Errno {

int fromWin32Error(unsigned long error);

} // namespace Win32Errno
