#include "DeviceOpener.h"

#include "platform/CommDevice.h"
#include "platform/OpenAbort.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>

// What the opening thread hands back, under our own lock.
struct DeviceOpener::Attempt
{
    std::mutex mutex;
    std::condition_variable finishedChanged;
    bool finished = false;
    std::unique_ptr<CommDevice> device;
    int error = 0;
};

DeviceOpener::DeviceOpener(const QString &path, std::function<void()> finished)
    : m_path(path), m_abort(std::make_shared<OpenAbort>()), m_attempt(std::make_shared<Attempt>())
{
    m_thread =
        std::thread([attempt = m_attempt, path, abort = m_abort, finished = std::move(finished)] {
            std::unique_ptr<CommDevice> device = openCommDevice(path, abort.get());
            const int error = device ? 0 : errno;
            {
                const std::lock_guard lock(attempt->mutex);
                attempt->device = std::move(device);
                attempt->error = error;
                attempt->finished = true;
            }
            attempt->finishedChanged.notify_all();
            if (finished)
                finished();
        });
}

DeviceOpener::~DeviceOpener()
{
    abort();
    if (m_thread.joinable())
        m_thread.join();
}

void DeviceOpener::abort()
{
    m_abort->trip();
}

bool DeviceOpener::isFinished() const
{
    const std::lock_guard lock(m_attempt->mutex);
    return m_attempt->finished;
}

void DeviceOpener::waitUntilFinished()
{
    std::unique_lock lock(m_attempt->mutex);
    m_attempt->finishedChanged.wait(lock, [this] { return m_attempt->finished; });
}

std::unique_ptr<CommDevice> DeviceOpener::take(int &error)
{
    if (!isFinished())
        abort();
    if (m_thread.joinable())
        m_thread.join();
    std::unique_ptr<CommDevice> device = std::move(m_attempt->device);
    error = m_attempt->error;
    // An abort that came after the device was opened still ends the attempt.
    if (m_abort->tripped()) {
        device.reset();
        error = ECANCELED;
    }
    return device;
}
