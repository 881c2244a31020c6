#pragma once

#include "CliCommand.h"

// The subcommands that talk to displays: read-settings, read-brightness,
// send-settings, send-brightness, apply and user-string. Each takes one or
// more ports (--port, many times, or --ports-file) and works every display
// at once, each on its own port; one display failing does not stop the
// others. SIGINT and SIGTERM end every job: each port lowers RTS and closes.
namespace DeviceCommands {

QList<Cli::Command> commands();

} // namespace DeviceCommands
