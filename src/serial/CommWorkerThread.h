#pragma once

#include "MainThreadHandover.h"
#include "TVaTypes.h"
#include "TVaWaitEvent.h"

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>

class TVaCustomComm;

// What the two serial threads share: an OS thread with a priority, a
// terminated mark that the main thread can set, and the handover of calls to
// the main thread with a wait that a stop interrupts.
class CommWorkerThread
{
public:
    CommWorkerThread(TVaCustomComm *owner, std::shared_ptr<MainThreadHandover> handover);
    virtual ~CommWorkerThread();
    CommWorkerThread(const CommWorkerThread &) = delete;
    CommWorkerThread &operator=(const CommWorkerThread &) = delete;

    // The error that kept one of the thread's events from being created, 0
    // when all exist. A thread whose events are missing could never be woken
    // or stopped, so it must not be started.
    virtual int EventsError() const;

    void Start(TThreadPriority priority);
    void SetPriority(TThreadPriority priority);
    bool Terminated() const { return m_terminated->load(); }

    // Asks the thread to end; it stops any wait, also one for a handover.
    virtual void Stop() = 0;
    // Waits until the thread has ended, running the handovers of other threads
    // meanwhile. Must not be called from the thread itself.
    void WaitForEnd();

protected:
    virtual void Execute() = 0;
    void MarkTerminated();
    static int FirstEventError(std::initializer_list<const TVaHandleObject *> events);
    // The owner always stops a thread and waits for it before freeing it; a
    // derived class's destructor stops and joins as a last resort, while the
    // events the thread waits on still exist.
    void JoinStopped();

    // Submits `call` for the main thread; HandoverDone() is signalled when it has run.
    MainThreadHandover::RequestPtr HandOver(std::function<void()> call);
    bool HandoverFinished(const MainThreadHandover::RequestPtr &request);
    void Withdraw(const MainThreadHandover::RequestPtr &request);
    TVaWaitEvent &HandoverDone() { return m_handoverDone; }
    MainThreadHandover &Handover() { return *m_handover; }
    std::shared_ptr<const std::atomic<bool>> StopFlag() const { return m_terminated; }

    TVaCustomComm *const Owner;

private:
    void run();
    void applyPriority(TThreadPriority priority);

    std::shared_ptr<MainThreadHandover> m_handover;
    std::shared_ptr<std::atomic<bool>> m_terminated = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool> m_finished{false};
    // Guards the thread id and the wanted priority together, so a priority set
    // while the thread is still starting is the one it starts with.
    std::mutex m_priorityMutex;
    std::uint64_t m_threadId = 0;
    TThreadPriority m_priority = tpNormal;
    TVaWaitEvent m_handoverDone;
    std::thread m_thread;
};
