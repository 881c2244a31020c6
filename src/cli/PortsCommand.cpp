#include "PortsCommand.h"

#include "platform/PortNameResolver.h"
#include "platform/PortsMap.h"
#include "platform/SerialDevices.h"

#include <QDir>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <set>

#ifdef Q_OS_WIN
#include "SystemSerialPorts.h"
#endif

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

// `ports --present`: the serial devices the machine has now.
int listPresent(Cli::Output &output)
{
    const QList<SerialDevices::Device> devices = SerialDevices::present();
    if (devices.isEmpty()) {
        const QString none = QStringLiteral("No serial device is present.");
        if (output.json())
            output.error(none);
        output.line(none);
    }
    for (const SerialDevices::Device &device : devices) {
        output.object({{QStringLiteral("node"), device.node},
                       {QStringLiteral("byId"), device.byId},
                       {QStringLiteral("driver"), device.driver},
                       {QStringLiteral("vendorId"), device.vendorId},
                       {QStringLiteral("productId"), device.productId},
                       {QStringLiteral("manufacturer"), device.manufacturer},
                       {QStringLiteral("product"), device.product},
                       {QStringLiteral("serial"), device.serial},
                       {QStringLiteral("description"), device.description()}});
        QString line = QStringLiteral("%1: %2").arg(device.node, device.description());
        if (!device.serial.isEmpty())
            line += QStringLiteral(", serial %1").arg(device.serial);
        if (!device.byId.isEmpty())
            line += QStringLiteral(", %1").arg(device.byId);
        output.line(line);
    }
    return Cli::Success;
}

int run(const QCommandLineParser &parser, Cli::Output &output)
{
    if (parser.isSet(QStringLiteral("present")))
        return listPresent(output);

    const QString portsFile = PortsMap::filePath();
    std::set<int> numbers = environmentNumbers();
    for (const int number : PortsMap::load(portsFile).comNumbers())
        numbers.insert(number);
#ifdef Q_OS_WIN
    // Windows also knows its own ports; each says what it is.
    QHash<int, QString> descriptions;
    for (const SystemSerialPorts::Port &port : SystemSerialPorts::list()) {
        numbers.insert(port.number);
        descriptions.insert(port.number, port.description);
    }
    if (numbers.empty()) {
        output.line(QStringLiteral("No port is named by a PANTRIX_COM<n> variable or by the ports "
                                   "file %1, and Windows knows no COM port; COMn is \\\\.\\COMn.")
                        .arg(QDir::toNativeSeparators(portsFile)));
    }
#else
    if (numbers.empty()) {
        output.line(QStringLiteral("No port is named by a PANTRIX_COM<n> variable or by the ports "
                                   "file %1; COMn is /dev/ttyUSB<n-1> when that exists, else "
                                   "/dev/ttyS<n-1>.")
                        .arg(portsFile));
    }
#endif
    for (const int number : numbers) {
        const QString name = QStringLiteral("COM%1").arg(number);
        const PortNameResolver::Resolution resolution = PortNameResolver::lookup(name);
        QJsonObject object{{QStringLiteral("port"), name},
                           {QStringLiteral("target"), resolution.target},
                           {QStringLiteral("source"), sourceName(resolution.source)},
                           {QStringLiteral("origin"), resolution.origin}};
        QString line = PortNameResolver::describe(name);
#ifdef Q_OS_WIN
        if (const QString description = descriptions.value(number); !description.isEmpty()) {
            object.insert(QStringLiteral("description"), description);
            line += QStringLiteral(" - ") + description;
        }
#endif
        output.object(object);
        output.line(line);
    }
    return Cli::Success;
}

} // namespace

Cli::Command command()
{
    return {QStringLiteral("ports"),
#ifdef Q_OS_WIN
            QStringLiteral("Lists the COM ports Windows knows and those the environment and the "
                           "ports file name."),
#else
            QStringLiteral("Lists the COM ports the environment and the ports file name."),
#endif
            [](QCommandLineParser &parser) {
                parser.addOption({QStringLiteral("present"),
                                  QStringLiteral("Lists the serial devices this machine has "
                                                 "now instead, with their drivers and USB "
                                                 "names.")});
            },
            run};
}

} // namespace PortsCommand
