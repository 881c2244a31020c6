#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Explains to the user why a port did not open: what the port name reaches
// and a hint for the common causes (no permission, held by another program,
// no such device, a COM port server that does not answer). It only reads
// what the system tells about the device and its holders; it changes nothing.
// Windows has no device groups and shows no holders of a port: there the
// hints name the likely cause and where to look (Device Manager).
namespace PortOpenDiagnosis {

// The lines shown where the user looks for the reason (the status line's
// tooltip, standard error): the port's target and its origin, the error the
// open raised, and a hint when there is one. `error` is the errno value
// behind the failure, 0 when unknown.
QString explain(const QString &portName, const QString &errorText, int error);
// The same lines with a hint found before (empty: none).
QString explainWithHint(const QString &portName, const QString &errorText, const QString &hint);

// The hint alone, for an open of `target` (a device path or an rfc2217://
// address) that failed with `error`; empty when there is nothing to add.
QString hint(const QString &target, int error);

// The hint for a local device (a path on Linux, a COM port or device path on
// Windows, whose back end reports Win32 errors as errno values).
QString deviceHint(const QString &device, int error);

#ifndef Q_OS_WIN

// Who may use a device: its group and whether the user is in it.
struct DeviceAccess
{
    QString group;
    QString user;
    bool sessionHasGroup = false;   // the running program has the group
    bool userListedInGroup = false; // /etc/group lists the user (maybe since the last login)
};

// The hint for a device the user may not open; without `access` (no group
// owns the device) it only points to its permissions.
QString permissionHint(const QString &device, const std::optional<DeviceAccess> &access);

// The processes that have `devicePath` open, as "name (pid N)", as far as
// /proc lets us see them (all of them for root, one's own otherwise). A
// process counts when one of its descriptors is the same device (or file),
// under whatever name it opened it: /dev/serial/by-id/... and /dev/ttyUSB0
// are one device.
QStringList holders(const QString &devicePath);

// The processes other than this one that hold the device open on `fd`, as
// holders() names them; empty when none or when /proc cannot be read. For a
// pseudo-terminal, a process that holds its master (the far end) is none.
QStringList otherHolders(int fd);
#endif

} // namespace PortOpenDiagnosis
