#pragma once

// Windows reports failures as Win32 or Winsock error codes; the serial
// component and its callers speak errno, as on Linux, so that the same
// messages and hints serve both.
namespace Win32Error {

// The errno value for a Win32 error (GetLastError) or a Winsock error
// (WSAGetLastError); EIO for anything without a closer match.
int toErrno(unsigned long error);

// Sets errno from GetLastError() and returns it.
int fromLastError();
// Sets errno from WSAGetLastError() and returns it.
int fromLastSocketError();

} // namespace Win32Error
