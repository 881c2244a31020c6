#include "CommWorkerThread.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int HighestNice = -20;
constexpr int LowestNice = 19;

// Threads of the normal scheduling class differ only by their nice value. A
// priority moves a thread's nice value away from the process's own, so a
// program started with `nice` keeps its threads' order below that value.
int niceOffset(TThreadPriority priority)
{
    constexpr int offsets[] = {19, 10, 5, 0, -5, -10, -20};
    return offsets[priority];
}

// The nice value of the process (its main thread), 0 when it cannot be read.
int processNice()
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return errno == 0 ? nice : 0;
}

// The lowest nice value the thread may take without privileges: what
// RLIMIT_NICE allows, but never above where the thread already is.
int lowestPermittedNice(pid_t threadId)
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(threadId));
    if (errno != 0)
        return LowestNice;
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) != 0)
        return current;
    const int byLimit = limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40
                            ? HighestNice
                            : 20 - int(limit.rlim_cur);
    return std::min(current, byLimit);
}

} // namespace

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
        m_threadId = gettid();
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
    const auto thread = static_cast<id_t>(m_threadId);
    const int wanted = std::clamp(processNice() + niceOffset(priority), HighestNice, LowestNice);
    if (setpriority(PRIO_PROCESS, thread, wanted) == 0 || (errno != EACCES && errno != EPERM))
        return;
    // Raising a priority needs privileges a user rarely has; the thread then
    // goes as high as it may, by default staying where it is.
    setpriority(PRIO_PROCESS, thread, std::max(wanted, lowestPermittedNice(m_threadId)));
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
