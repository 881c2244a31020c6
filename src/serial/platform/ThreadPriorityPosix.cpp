#include "ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace ThreadPriority {

namespace {

constexpr int HighestNice = -20;
constexpr int LowestNice = 19;

// Threads of the normal scheduling class differ only by their nice value. A
// priority moves a thread's nice value away from the process's own, so a
// program started with `nice` keeps its threads' order below that value.
int niceOffset(int level)
{
    constexpr int offsets[] = {19, 10, 5, 0, -5, -10, -20};
    return offsets[std::clamp(level, 0, 6)];
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
int lowestPermittedNice(id_t thread)
{
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
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

ThreadId current()
{
    return ThreadId(gettid());
}

void apply(ThreadId thread, int level)
{
    const auto id = static_cast<id_t>(thread);
    const int wanted = std::clamp(processNice() + niceOffset(level), HighestNice, LowestNice);
    if (setpriority(PRIO_PROCESS, id, wanted) == 0 || (errno != EACCES && errno != EPERM))
        return;
    // Raising a priority needs privileges a user rarely has; the thread then
    // goes as high as it may, by default staying where it is.
    setpriority(PRIO_PROCESS, id, std::max(wanted, lowestPermittedNice(id)));
}

} // namespace ThreadPriority
