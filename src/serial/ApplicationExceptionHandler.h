#pragma once

#include <exception>
#include <functional>

// Where an error goes that was raised in a handler the serial threads had run
// on the main thread: nobody up the stack could catch it. The window installs
// the handler that shows its error box; without one the message is logged.
namespace ApplicationExceptionHandler {

using Handler = std::function<void(const std::exception &error)>;

void setHandler(Handler handler);
// Called on the main thread only.
void handle(const std::exception &error);
// Runs `call` and hands whatever it throws to handle().
void guard(const std::function<void()> &call);

} // namespace ApplicationExceptionHandler
