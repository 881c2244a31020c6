#include "ThreadPriority.h"

#include <algorithm>
#include <windows.h>

namespace ThreadPriority {

ThreadId current()
{
    return ThreadId(GetCurrentThreadId());
}

void apply(ThreadId thread, int level)
{
    // Thread priorities on Windows are already relative to the process's
    // priority class.
    constexpr int priorities[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                  THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                  THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                  THREAD_PRIORITY_TIME_CRITICAL};
    HANDLE handle = OpenThread(THREAD_SET_LIMITED_INFORMATION, FALSE, DWORD(thread));
    if (!handle)
        return;
    SetThreadPriority(handle, priorities[std::clamp(level, 0, 6)]);
    CloseHandle(handle);
}

} // namespace ThreadPriority
