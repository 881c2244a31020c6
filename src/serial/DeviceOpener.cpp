#include "DeviceOpener.h"

#include "platform/CommDevice.h"
#include "platform/OpenAbort.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

// What the opening thread hands back, under our own lock: the event loop only
// carries the wake-up.
struct DeviceOpener::Attempt
{
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::unique_ptr<CommDevice> device;
    int error = 0;

    bool isFinished()
    {
        const std::lock_guard lock(mutex);
        return finished;
    }
};

DeviceOpener::DeviceOpener(std::function<void()> wakeMainThread)
    : m_wakeMainThread(std::move(wakeMainThread)), m_abort(std::make_shared<OpenAbort>())
{}

DeviceOpener::~DeviceOpener() = default;

void DeviceOpener::abort()
{
    m_abort->trip();
}

std::unique_ptr<CommDevice> DeviceOpener::open(const QString &path)
{
    const auto attempt = std::make_shared<Attempt>();
    std::thread opening([attempt, path, abort = m_abort, wake = m_wakeMainThread] {
        std::unique_ptr<CommDevice> device = openCommDevice(path, abort.get());
        const int error = errno;
        {
            const std::lock_guard lock(attempt->mutex);
            attempt->device = std::move(device);
            attempt->error = error;
            attempt->finished = true;
        }
        attempt->finishedChanged.notify_all();
        if (wake)
            wake();
    });

    const QCoreApplication *application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread()) {
        while (!attempt->isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
        std::unique_lock lock(attempt->mutex);
        attempt->finishedChanged.wait(lock, [&] { return attempt->finished; });
    }
    opening.join();

    std::unique_ptr<CommDevice> device = std::move(attempt->device);
    // An abort that came after the device was opened still ends the open.
    if (device && m_abort->tripped()) {
        device.reset();
        errno = ECANCELED;
        return nullptr;
    }
    errno = attempt->error;
    return device;
}
