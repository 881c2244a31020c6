#include "SerialDevices.h"
#include "SystemSerialPorts.h"

#include <QRegularExpression>

// Windows: the COM ports of the registry's SERIALCOMM map, described from
// SetupAPI (see SystemSerialPorts). USB vendor and product come from the
// hardware ID ("USB\VID_0403&PID_6001", "FTDIBUS\VID_0403+PID_6001+...");
// Windows keeps no by-id links, and the serial number is not read.
namespace SerialDevices {

QList<Device> present()
{
    static const QRegularExpression usbIds(QStringLiteral("VID_([0-9A-F]{4})[&+]PID_([0-9A-F]{4})"),
                                           QRegularExpression::CaseInsensitiveOption);
    QList<Device> devices;
    for (const SystemSerialPorts::Port &port : SystemSerialPorts::list()) {
        Device device;
        device.node = QStringLiteral("COM%1").arg(port.number);
        device.driver = port.deviceName;
        device.manufacturer = port.manufacturer;
        // The description is Device Manager's name when it has one.
        if (port.description != port.deviceName)
            device.product = port.description;
        if (const auto match = usbIds.match(port.hardwareId); match.hasMatch()) {
            device.vendorId = match.captured(1).toLower();
            device.productId = match.captured(2).toLower();
        }
        devices << device;
    }
    return devices;
}

} // namespace SerialDevices
