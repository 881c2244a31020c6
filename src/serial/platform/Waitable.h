#pragma once

#include <initializer_list>

// What the serial threads wait on, and the signal objects that wake them.
// On Linux a waitable is a descriptor watched with poll(2) for the events
// named; on Windows it is an object handle (an event, a semaphore or a
// thread), signalled or not, and the events are not used.
#ifdef _WIN32
using NativeHandle = void *;
inline NativeHandle const NoHandle = nullptr;
#else
using NativeHandle = int;
constexpr NativeHandle NoHandle = -1;
#endif

namespace WaitFor {
// The values of POLLIN and POLLOUT.
constexpr short Input = 0x001;
constexpr short Output = 0x004;
} // namespace WaitFor

struct WaitItem
{
    NativeHandle handle = NoHandle;
    short events = WaitFor::Input;
};

// Waits until one of `items` is ready (on Linux: shows one of its events, a
// hang-up or an error): its index; -1 when `timeoutMs` ran out (< 0: no
// limit); -2 on failure with errno set. Items without a handle keep their
// index but are never ready.
int waitForAny(std::initializer_list<WaitItem> items, int timeoutMs);

// A manual-reset signal: it stays signalled until reset, and waiting for it
// never consumes it. create() gives NoHandle with errno on failure.
namespace SignalObject {
NativeHandle create();
void destroy(NativeHandle handle);
// False with errno when the object refused.
bool set(NativeHandle handle);
bool reset(NativeHandle handle);
} // namespace SignalObject
