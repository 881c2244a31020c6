#pragma once

#include <QList>
#include <QString>

// The serial devices this machine has, for choosing a port: USB adapters,
// CDC devices and real UARTs, each with what the system tells about it. It
// only reads (sysfs and /dev on Linux, the registry and SetupAPI on Windows);
// it opens no device.
namespace SerialDevices {

struct Device
{
    QString node;                  // "/dev/ttyUSB0"; on Windows "COM3"
    QString byId;                  // "/dev/serial/by-id/usb-FTDI_FT232R_..." or empty
    QString driver;                // "ftdi_sio", "cdc_acm", "serial8250", ...; on Windows
                                   // the registry's device name ("\Device\VCP0")
    QString vendorId, productId;   // "0403", "6001" for USB devices, else empty
    QString manufacturer, product; // USB strings where known, else empty; on Windows the
                                   // manufacturer and the name Device Manager shows
    QString serial;                // USB serial number where known

    // One human line: "FTDI FT232R USB UART (ftdi_sio, 0403:6001)".
    QString description() const;

    bool operator==(const Device &) const = default;
};

// The devices now present, sorted by node (ttyS2 before ttyS10). A tty that
// is no device (virtual consoles, pseudo-terminals) is left out, as is a ttyS
// without a real UART behind it (its type is 0, "unknown") and a device
// without a node in /dev.
QList<Device> present();

#ifndef _WIN32
// present() with other roots than "/sys" and "/dev", for tests that build a
// tree of their own: `sysRoot`/class/tty and `devRoot`/serial/by-id are read,
// and nodes are `devRoot`/NAME.
QList<Device> presentUnder(const QString &sysRoot, const QString &devRoot);
#endif

} // namespace SerialDevices
