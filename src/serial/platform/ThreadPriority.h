#pragma once

#include <cstdint>

// The scheduling priority of the serial threads, in seven levels from idle
// (0) over normal (3) to time-critical (6), relative to the process: a
// program started with a lower priority keeps its threads below it.
namespace ThreadPriority {

using ThreadId = std::uint64_t; // 0: no thread

ThreadId current();
// Gives `thread` the level as far as the user's rights allow.
void apply(ThreadId thread, int level);

} // namespace ThreadPriority
