#pragma once

// Windows reports failures as Win32 or Winsock error codes; the serial
// component and its callers speak errno, as on Linux, so that the same
// messages and hints serve both.
namespace Win32Error {

// The errno value for a Win32 error (GetLastError) or a Winsock error
// (WSAGetLastError) of a device or socket: access denied means the port is
// busy here, not a file's permission. Other codes map as for files.
int toErrno(unsigned long error);

// Sets errno from GetLastError() and returns it.
int fromLastError();
// Sets errno from WSAGetLastError() and returns it.
int fromLastSocketError();

} // namespace Win32Error
