#include "CommWorkerThread.h"

#include "platform/ThreadPriority.h"

CommWorkerThread::CommWorkerThread(TVaCustomComm *owner,
                                   std::shared_ptr<MainThreadHandover> handover)
    : Owner(owner), m_handover(std::move(handover))
{}

CommWorkerThread::~CommWorkerThread()
{
    JoinStopped();
}

void CommWorkerThread::JoinStopped()
{
    if (m_thread.joinable())
        m_thread.join();
}

int CommWorkerThread::EventsError() const
{
    return m_handoverDone.Valid() ? 0 : m_handoverDone.LastError();
}

// The error of the first of `events` that was not created, else 0.
int CommWorkerThread::FirstEventError(std::initializer_list<const TVaHandleObject *> events)
{
    for (const TVaHandleObject *event : events) {
        if (!event->Valid())
            return event->LastError();
    }
    return 0;
}

void CommWorkerThread::Start(TThreadPriority priority)
{
    {
        const std::lock_guard lock(m_priorityMutex);
        m_priority = priority;
    }
    m_thread = std::thread([this] { run(); });
}

void CommWorkerThread::run()
{
    {
        const std::lock_guard lock(m_priorityMutex);
        m_threadId = ThreadPriority::current();
        applyPriority(m_priority);
    }
    Execute();
    {
        // The id may be reused by another thread once this one has ended.
        const std::lock_guard lock(m_priorityMutex);
        m_threadId = 0;
    }
    m_finished = true;
    m_handover->NotifyMainThread();
}

void CommWorkerThread::SetPriority(TThreadPriority priority)
{
    const std::lock_guard lock(m_priorityMutex);
    m_priority = priority;
    // Not started yet: the thread applies the priority itself when it starts.
    if (m_threadId != 0)
        applyPriority(priority);
}

// Called with m_priorityMutex held.
void CommWorkerThread::applyPriority(TThreadPriority priority)
{
    ThreadPriority::apply(m_threadId, int(priority));
}

void CommWorkerThread::MarkTerminated()
{
    m_terminated->store(true);
}

void CommWorkerThread::WaitForEnd()
{
    if (!m_thread.joinable())
        return;
    m_handover->ServeUntil([this] { return m_finished.load(); });
    m_thread.join();
}

MainThreadHandover::RequestPtr CommWorkerThread::HandOver(std::function<void()> call)
{
    m_handoverDone.Reset();
    return m_handover->Submit(std::move(call), m_terminated, &m_handoverDone);
}

bool CommWorkerThread::HandoverFinished(const MainThreadHandover::RequestPtr &request)
{
    return m_handover->IsDone(request);
}

void CommWorkerThread::Withdraw(const MainThreadHandover::RequestPtr &request)
{
    m_handover->Withdraw(request);
}
