#include "DescriptorBudget.h"

#include <QtGlobal>
#include <algorithm>
#include <windows.h>

// Windows has no open-files limit to raise: a process may hold about 16
// million kernel handles, and a port (its handle, the events of its two
// threads and the overlapped operations) holds a handful. What does bound the
// number of displays worked at once is that every open port runs two
// threads of its own; the stacks and scheduling of some hundred threads are
// cheap, so the default stays the same as on Linux. The handles open now are
// counted all the same, so that a process near the limit (a leak elsewhere)
// still gets a budget it can keep.
namespace DescriptorBudget {

namespace {

// Kernel handles a process may hold (2^24), less a reserve for Qt and the files.
constexpr qint64 HandleLimit = 16 * 1024 * 1024;
constexpr qint64 Reserve = 1024;

} // namespace

void raiseOpenFilesLimit()
{
    // Nothing to raise on Windows.
}

int defaultJobs()
{
    DWORD open = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &open))
        return MaxDefaultJobs;
    const qint64 room = std::max<qint64>(0, HandleLimit - qint64(open) - Reserve);
    return int(std::clamp<qint64>(room / PerDisplay, 1, MaxDefaultJobs));
}

} // namespace DescriptorBudget
