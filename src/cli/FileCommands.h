#pragma once

#include "CliCommand.h"

// The subcommands that work on record files without a display: `show`
// decodes an .esv or .hsv file, `edit` changes fields of an .esv file by name
// within the ranges the window enforces and saves it atomically.
namespace FileCommands {

Cli::Command show();
Cli::Command edit();

} // namespace FileCommands
