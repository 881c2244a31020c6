#include "MainThreadHandover.h"

#include "ApplicationExceptionHandler.h"
#include "TVaEvent.h"

#include <QCoreApplication>
#include <algorithm>

struct MainThreadHandover::Request
{
    std::function<void()> call;
    StopFlag workerStopped;
    TVaEvent *done = nullptr;
    bool finished = false;
};

MainThreadHandover::MainThreadHandover(QObject *target) : m_target(target) {}

QEvent::Type MainThreadHandover::WakeUpEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

MainThreadHandover::RequestPtr MainThreadHandover::Submit(std::function<void()> call,
                                                          StopFlag workerStopped, TVaEvent *done)
{
    auto request = std::make_shared<Request>();
    request->call = std::move(call);
    request->workerStopped = std::move(workerStopped);
    request->done = done;
    {
        const std::lock_guard lock(m_mutex);
        m_pending.push_back(request);
    }
    m_mainThreadWake.notify_all();
    PostWakeUp();
    return request;
}

bool MainThreadHandover::IsDone(const RequestPtr &request) const
{
    const std::lock_guard lock(m_mutex);
    return request->finished;
}

void MainThreadHandover::Withdraw(const RequestPtr &request)
{
    const std::lock_guard lock(m_mutex);
    request->done = nullptr;
    m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), request), m_pending.end());
}

void MainThreadHandover::PostWakeUp()
{
    if (!m_wakeUpPosted.exchange(true))
        QCoreApplication::postEvent(m_target, new QEvent(WakeUpEventType()));
}

void MainThreadHandover::NotifyMainThread()
{
    {
        // Taking the lock orders the caller's state change before the waiter's test.
        const std::lock_guard lock(m_mutex);
    }
    m_mainThreadWake.notify_all();
}

MainThreadHandover::RequestPtr MainThreadHandover::takeNext()
{
    const std::lock_guard lock(m_mutex);
    while (!m_pending.empty()) {
        RequestPtr request = m_pending.front();
        m_pending.pop_front();
        if (request->workerStopped && request->workerStopped->load()) {
            request->finished = true;
            continue;
        }
        return request;
    }
    return nullptr;
}

void MainThreadHandover::finish(const RequestPtr &request)
{
    const std::lock_guard lock(m_mutex);
    request->finished = true;
    if (request->done)
        request->done->Signal();
}

void MainThreadHandover::Serve()
{
    // A call may end in the destruction of the component that owns this object.
    const auto keepAlive = shared_from_this();
    m_wakeUpPosted = false;
    while (RequestPtr request = takeNext()) {
        ApplicationExceptionHandler::guard(request->call);
        finish(request);
    }
}

void MainThreadHandover::ServeUntil(const std::function<bool()> &finished)
{
    for (;;) {
        Serve();
        std::unique_lock lock(m_mutex);
        m_mainThreadWake.wait(lock, [&] { return !m_pending.empty() || finished(); });
        if (m_pending.empty())
            return;
    }
}
