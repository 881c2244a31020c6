#include "PortsCommand.h"

#include "platform/PortNameResolver.h"
#include "platform/PortsMap.h"

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <set>

namespace PortsCommand {

namespace {

QString sourceName(PortNameResolver::Source source)
{
    switch (source) {
    case PortNameResolver::Source::Environment:
        return QStringLiteral("environment");
    case PortNameResolver::Source::PortsFile:
        return QStringLiteral("ports-file");
    case PortNameResolver::Source::BuiltInDefault:
        return QStringLiteral("built-in-default");
    case PortNameResolver::Source::AsGiven:
        break;
    }
    return QStringLiteral("as-given");
}

// The COM numbers that a PANTRIX_COM<n> variable names.
std::set<int> environmentNumbers()
{
    static const QRegularExpression variable(QStringLiteral("^PANTRIX_COM([1-9][0-9]{0,8})$"));
    std::set<int> numbers;
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys()) {
        const auto match = variable.match(name);
        if (match.hasMatch() && !environment.value(name).isEmpty())
            numbers.insert(match.captured(1).toInt());
    }
    return numbers;
}

int run(const QCommandLineParser &, Cli::Output &output)
{
    const QString portsFile = PortsMap::filePath();
    std::set<int> numbers = environmentNumbers();
    for (const int number : PortsMap::load(portsFile).comNumbers())
        numbers.insert(number);
    if (numbers.empty()) {
        output.line(QStringLiteral("No port is named by a PANTRIX_COM<n> variable or by the ports "
                                   "file %1; COMn is /dev/ttyUSB<n-1> when that exists, else "
                                   "/dev/ttyS<n-1>.")
                        .arg(portsFile));
    }
    for (const int number : numbers) {
        const QString name = QStringLiteral("COM%1").arg(number);
        const PortNameResolver::Resolution resolution = PortNameResolver::lookup(name);
        output.object({{QStringLiteral("port"), name},
                       {QStringLiteral("target"), resolution.target},
                       {QStringLiteral("source"), sourceName(resolution.source)},
                       {QStringLiteral("origin"), resolution.origin}});
        output.line(PortNameResolver::describe(name));
    }
    return Cli::Success;
}

} // namespace

Cli::Command command()
{
    return {QStringLiteral("ports"),
            QStringLiteral("Lists the COM ports the environment and the ports file name."),
            [](QCommandLineParser &) {}, run};
}

} // namespace PortsCommand
