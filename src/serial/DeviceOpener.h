#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <thread>

class CommDevice;
class OpenAbort;

// One attempt to open a device, run on a thread of its own so that a slow,
// silent or hostile network port server never holds up the thread that asked:
// the constructor returns at once, and `finished` is called on the opening
// thread when the attempt has ended (the component turns that into an event
// on its own thread). No event loop runs here, so any number of attempts can
// run side by side on one thread.
//
// abort() ends the waits of the attempt at once, from any thread; the attempt
// then fails with ECANCELED, also when the device had already opened. The
// destructor aborts and joins, so an attempt can be dropped at any moment and
// never touches its owner afterwards; an unused device is closed.
class DeviceOpener
{
public:
    DeviceOpener(const QString &path, std::function<void()> finished);
    ~DeviceOpener();
    DeviceOpener(const DeviceOpener &) = delete;
    DeviceOpener &operator=(const DeviceOpener &) = delete;

    const QString &path() const { return m_path; }
    void abort();
    bool isFinished() const;
    // Blocks until the attempt has ended; for a caller without an event loop.
    void waitUntilFinished();
    // Ends the attempt (aborting it unless it has finished) and hands over
    // the device, or nullptr with the error number in `error`.
    std::unique_ptr<CommDevice> take(int &error);

private:
    struct Attempt;

    QString m_path;
    std::shared_ptr<OpenAbort> m_abort;
    std::shared_ptr<Attempt> m_attempt;
    std::thread m_thread;
};
