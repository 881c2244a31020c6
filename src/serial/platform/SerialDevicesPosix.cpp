#include "SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <optional>

// Linux: every tty in /sys/class/tty with a device behind it (virtual
// consoles and pseudo-terminals have none), its driver, the USB device above
// it, and the /dev/serial/by-id links that udev makes for it.
namespace {

QString attribute(const QString &folder, const char *name)
{
    QFile file(folder + u'/' + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// The folder a link in sysfs points to, resolved, or empty.
QString resolvedLink(const QString &link)
{
    const QFileInfo info(link);
    return info.exists() ? info.canonicalFilePath() : QString();
}

QString driverName(const QString &device)
{
    return QFileInfo(resolvedLink(device + QStringLiteral("/driver"))).fileName();
}

QString subsystemName(const QString &device)
{
    return QFileInfo(resolvedLink(device + QStringLiteral("/subsystem"))).fileName();
}

// Since Linux 6.5 a UART's tty sits on a "serial-base" port and controller of
// the serial core; the driver that knows the hardware (serial8250, a PNP or
// PCI serial driver) is the one of the device above them.
QString driverOf(QString device, const QString &sysRoot)
{
    while (subsystemName(device) == QLatin1String("serial-base")) {
        const QString parent = QFileInfo(device).path();
        if (!parent.startsWith(sysRoot) || parent == device)
            break;
        device = parent;
    }
    return driverName(device);
}

// The USB device that `device` belongs to: the nearest folder above it with
// idVendor and idProduct, or empty.
QString usbDeviceOf(QString device, const QString &sysRoot)
{
    for (int depth = 0; depth < 8 && device.startsWith(sysRoot) && device.size() > sysRoot.size();
         ++depth) {
        if (QFileInfo::exists(device + QStringLiteral("/idVendor")) &&
            QFileInfo::exists(device + QStringLiteral("/idProduct")))
            return device;
        device = QFileInfo(device).path();
    }
    return {};
}

// The first /dev/serial/by-id link of each node, by the node's real path.
QHash<QString, QString> byIdLinks(const QString &devRoot)
{
    QHash<QString, QString> links;
    const QDir folder(devRoot + QStringLiteral("/serial/by-id"));
    const QStringList names = folder.entryList(QDir::System | QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString target = QFileInfo(folder.filePath(name)).canonicalFilePath();
        if (!target.isEmpty() && !links.contains(target))
            links.insert(target, folder.filePath(name));
    }
    return links;
}

// "ttyS10" after "ttyS2": the name's letters, then its number.
bool nodeBefore(const SerialDevices::Device &a, const SerialDevices::Device &b)
{
    const auto split = [](const QString &node) {
        qsizetype digits = node.size();
        while (digits > 0 && node[digits - 1].isDigit())
            --digits;
        return std::pair(node.left(digits), node.mid(digits).toULongLong());
    };
    return split(a.node) < split(b.node);
}

std::optional<SerialDevices::Device> deviceOf(const QString &ttyFolder, const QString &name,
                                              const QString &sysRoot, const QString &devRoot)
{
    const QString device = resolvedLink(ttyFolder + QStringLiteral("/device"));
    if (device.isEmpty())
        return std::nullopt;
    // The serial core registers a tty for every port it was told of; one
    // where no UART answered has type 0 ("unknown") and cannot carry a byte.
    const QString type = attribute(ttyFolder, "type");
    if (!type.isEmpty() && type.toInt() == 0)
        return std::nullopt;
    SerialDevices::Device found;
    found.node = devRoot + u'/' + name;
    if (!QFileInfo(found.node).exists())
        return std::nullopt;
    found.driver = driverOf(device, sysRoot);
    if (const QString usb = usbDeviceOf(device, sysRoot); !usb.isEmpty()) {
        found.vendorId = attribute(usb, "idVendor");
        found.productId = attribute(usb, "idProduct");
        found.manufacturer = attribute(usb, "manufacturer");
        found.product = attribute(usb, "product");
        found.serial = attribute(usb, "serial");
    }
    return found;
}

} // namespace

namespace SerialDevices {

QList<Device> present()
{
    return presentUnder(QStringLiteral("/sys"), QStringLiteral("/dev"));
}

QList<Device> presentUnder(const QString &sysRoot, const QString &devRoot)
{
    const QString canonicalSys = QFileInfo(sysRoot).canonicalFilePath();
    const QDir ttys(sysRoot + QStringLiteral("/class/tty"));
    const QHash<QString, QString> links = byIdLinks(devRoot);
    QList<Device> devices;
    const QStringList names = ttys.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString &name : names) {
        auto device = deviceOf(ttys.filePath(name), name, canonicalSys, devRoot);
        if (!device)
            continue;
        device->byId = links.value(QFileInfo(device->node).canonicalFilePath());
        devices << *device;
    }
    std::sort(devices.begin(), devices.end(), nodeBefore);
    return devices;
}

} // namespace SerialDevices
