#pragma once

#include <functional>

// Waits on the main thread until `done` holds, handling the window's events
// meanwhile. It blocks in the event loop between events instead of polling,
// so a waiting window costs no processor time; timers, received bytes and
// clicks wake it.
namespace EventLoopWait {

void until(const std::function<bool()> &done);

} // namespace EventLoopWait
