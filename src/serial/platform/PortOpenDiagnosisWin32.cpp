#include "PortOpenDiagnosis.h"
#include "PortsMap.h"

#include <QDir>
#include <cerrno>

// The hints for a local port on Windows. The Win32 back end reports its
// errors as errno values: no such port (file or path not found) as ENOENT,
// a port that another program has open (access denied, sharing violation) as
// EBUSY, a driver that failed or lost its adapter as EIO, a driver that did
// not answer in time as ETIMEDOUT.
namespace {

// "\\.\COM12" is shown as the user knows it, "COM12".
QString shownName(const QString &device)
{
    const QString native = QDir::toNativeSeparators(device);
    return native.startsWith(QLatin1String("\\\\.\\")) ? native.mid(4) : native;
}

} // namespace

namespace PortOpenDiagnosis {

QString deviceHint(const QString &device, int error)
{
    const QString port = shownName(device);
    switch (error) {
    case EBUSY:
    case EACCES:
    case EPERM:
        return QStringLiteral("%1 is in use by another program (a terminal program, or pantrix "
                              "in another window): a COM port serves one program at a time. "
                              "Close that program and connect again.")
            .arg(port);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("There is no port %1. Check in Device Manager (Ports (COM & LPT)) "
                              "that the adapter is plugged in and which COM number it has "
                              "(pantrix-cli ports lists them), or map the port to another device "
                              "in %2 or with PANTRIX_COMn.")
            .arg(port, QDir::toNativeSeparators(PortsMap::filePath()));
    case EIO:
        return QStringLiteral("The driver of %1 reported an error: unplug the adapter, plug it in "
                              "again and connect again.")
            .arg(port);
    case ETIMEDOUT:
        return QStringLiteral("The driver of %1 did not answer in time: unplug the adapter, plug "
                              "it in again and connect again.")
            .arg(port);
    case ENOTTY:
    case EISDIR:
        return QStringLiteral("%1 is no serial port.").arg(port);
    default:
        return {};
    }
}

} // namespace PortOpenDiagnosis
