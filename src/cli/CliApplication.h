#pragma once

#include <QStringList>
#include <QTextStream>

// The command-line configurator: takes the subcommand from the first
// argument, parses its options with QCommandLineParser, runs it and returns
// the exit status (0 all succeeded, 1 something failed, 2 usage error).
namespace CliApplication {

int run(const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace CliApplication
