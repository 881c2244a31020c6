#pragma once

#include <QString>
#include <functional>
#include <memory>

class CommDevice;
class OpenAbort;

// Opens a device whose opening waits for someone else (a network port server)
// on a thread of its own, so that a slow, silent or hostile server cannot
// freeze the main thread. The caller still waits for the result, but on the
// main thread it waits inside the event loop: the window keeps repainting and
// handling input, and the thread posts a wake-up (through `wakeMainThread`)
// when it is done, so the wait costs no processor time. Elsewhere it waits on
// a condition variable.
//
// abort() ends the open early from a handler that runs during the wait (or
// from any other thread); it then fails with ECANCELED. Whatever the outcome,
// the thread has ended and an unused connection is closed when open() returns.
class DeviceOpener
{
public:
    explicit DeviceOpener(std::function<void()> wakeMainThread);
    ~DeviceOpener();
    DeviceOpener(const DeviceOpener &) = delete;
    DeviceOpener &operator=(const DeviceOpener &) = delete;

    // The device, or nullptr with errno as openCommDevice() leaves it.
    std::unique_ptr<CommDevice> open(const QString &path);
    void abort();

private:
    struct Attempt;

    std::function<void()> m_wakeMainThread;
    std::shared_ptr<OpenAbort> m_abort;
};
