#pragma once

#include "CliCommand.h"

// `ports`: every COM port that the environment (PANTRIX_COM<n>) or the ports
// file names, what it resolves to and where that came from. On Windows also
// every COM port Windows knows, with its description (see SystemSerialPorts).
// `ports --present`: the serial devices the machine has (see SerialDevices).
namespace PortsCommand {

Cli::Command command();

} // namespace PortsCommand
