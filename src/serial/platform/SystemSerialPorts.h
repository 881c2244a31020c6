#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// Windows only (the platform's own, beside SerialDevices): the COM ports Windows knows, from the
// registry's map of serial devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: device name -> "COMn"),
// each with a description: the friendly name Device Manager shows (SetupAPI,
// ports class), else the registry's device name. It lists what is there; it
// opens no port.
class SystemSerialPorts
{
public:
    struct Port
    {
        int number = 0;
        QString description;
        QString deviceName;   // the registry's name of the device, "\\Device\\VCP0"
        QString manufacturer; // as Device Manager shows it, where known
        QString hardwareId;   // the first hardware ID, "USB\\VID_0403&PID_6001...", where known
    };

    // The ports now present, in ascending order of their number.
    static QList<Port> list();

    // The ports of the SERIALCOMM values (name, data), described by
    // `friendlyNames` (keyed by "COMn" in upper case) where they have one.
    // Data that is no "COMn" is skipped, and a number named twice is listed
    // once, with its first entry.
    static QList<Port> fromRegistryValues(const QList<QPair<QString, QString>> &values,
                                          const QHash<QString, QString> &friendlyNames);

private:
    struct DeviceDetails
    {
        QString friendlyName;
        QString manufacturer;
        QString hardwareId;
    };

    static QList<QPair<QString, QString>> readRegistryValues();
    // The present devices of the ports class, by their port name ("COM3").
    static QHash<QString, DeviceDetails> readDevices();
};
