#pragma once

#include <QEvent>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QObject;
class TVaEvent;

// Hands calls from the serial threads to the main thread. A worker submits a
// call and waits (on the event it passes) until the main thread has run it.
// The main thread runs pending calls when the posted wake-up event reaches the
// target object, so from every event loop, nested ones included, and from
// ServeUntil(), which the component uses while it waits for a thread to end.
//
// The data travels through this object's own locked queue; Qt only carries
// the wake-up. A call whose worker was told to stop before the call started is
// dropped, so no handler runs for a thread that is being stopped.
class MainThreadHandover : public std::enable_shared_from_this<MainThreadHandover>
{
public:
    struct Request;
    using RequestPtr = std::shared_ptr<Request>;
    using StopFlag = std::shared_ptr<const std::atomic<bool>>;

    // `target` lives on the main thread and passes WakeUpEventType events to Serve().
    explicit MainThreadHandover(QObject *target);

    static QEvent::Type WakeUpEventType();

    // Worker side. `done` is signalled once the call has run (or was dropped).
    RequestPtr Submit(std::function<void()> call, StopFlag workerStopped, TVaEvent *done);
    bool IsDone(const RequestPtr &request) const;
    // The worker stops waiting: a call not yet started is dropped, a running
    // one finishes without signalling the worker any more.
    void Withdraw(const RequestPtr &request);
    // A plain wake-up of the main thread's event loop (coalesced).
    void PostWakeUp();
    // Wakes ServeUntil() to test its condition again.
    void NotifyMainThread();

    // Main thread side.
    void Serve();
    void ServeUntil(const std::function<bool()> &finished);

private:
    RequestPtr takeNext();
    void finish(const RequestPtr &request);

    QObject *m_target;
    mutable std::mutex m_mutex;
    std::condition_variable m_mainThreadWake;
    std::deque<RequestPtr> m_pending;
    std::atomic<bool> m_wakeUpPosted{false};
};
