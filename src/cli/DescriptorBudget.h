#pragma once

// How many displays pantrix-cli may work at once, from the number of files
// the process may open: each open port holds a few descriptors (its device
// or socket and the events of its two threads), and opening many displays
// must not run into "Too many open files" half-way. Windows has no such limit
// worth the name; there the budget counts kernel handles (see
// DescriptorBudgetWin32.cpp).
namespace DescriptorBudget {

// Descriptors one display holds while its port is open: 7 on Linux, counted
// in /proc/self/fd of pantrix-cli with 1, 5 and 20 displays at once (socket,
// the events of the event and write threads and of the handover), and one
// spare.
constexpr int PerDisplay = 8;
// The most displays worked at once unless --jobs says otherwise.
constexpr int MaxDefaultJobs = 256;

// Raises the soft limit of open files to the hard limit, as far as the system
// lets this process; without it the limit stays as it was.
void raiseOpenFilesLimit();

// The number of displays worked at once by default: as many as the open-files
// limit leaves room for beside the descriptors open now, at most
// MaxDefaultJobs and at least one.
int defaultJobs();

} // namespace DescriptorBudget
