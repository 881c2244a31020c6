#include "SystemSerialPorts.h"

#include <QRegularExpression>
#include <algorithm>
#include <set>

QList<SystemSerialPorts::Port> SystemSerialPorts::list()
{
    const QHash<QString, DeviceDetails> devices = readDevices();
    QHash<QString, QString> friendlyNames;
    for (auto it = devices.cbegin(); it != devices.cend(); ++it)
        friendlyNames.insert(it.key(), it->friendlyName);
    QList<Port> ports = fromRegistryValues(readRegistryValues(), friendlyNames);
    for (Port &port : ports) {
        const DeviceDetails details = devices.value(QStringLiteral("COM%1").arg(port.number));
        port.manufacturer = details.manufacturer;
        port.hardwareId = details.hardwareId;
    }
    return ports;
}

QList<SystemSerialPorts::Port>
SystemSerialPorts::fromRegistryValues(const QList<QPair<QString, QString>> &values,
                                      const QHash<QString, QString> &friendlyNames)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,8})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    QList<Port> ports;
    std::set<int> seen;
    for (const auto &[deviceName, data] : values) {
        const QRegularExpressionMatch match = comName.match(data.trimmed());
        if (!match.hasMatch())
            continue;
        const int number = match.captured(1).toInt();
        if (!seen.insert(number).second)
            continue;
        const QString friendly = friendlyNames.value(QStringLiteral("COM%1").arg(number));
        ports.append({number, friendly.isEmpty() ? deviceName : friendly, deviceName, {}, {}});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Port &a, const Port &b) { return a.number < b.number; });
    return ports;
}
