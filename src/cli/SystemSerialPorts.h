#pragma once

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

// Windows only: the COM ports Windows knows, from the registry's map of
// serial devices (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: device name -> "COMn"),
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
    static QList<QPair<QString, QString>> readRegistryValues();
    static QHash<QString, QString> readFriendlyNames();
};
