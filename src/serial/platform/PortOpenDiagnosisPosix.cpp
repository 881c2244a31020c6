#include "PortOpenDiagnosis.h"
#include "PortsMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The hints for a local device on Linux: its group, its holders in /proc.
namespace {

QString userName()
{
    const passwd *user = getpwuid(geteuid());
    return user ? QString::fromLocal8Bit(user->pw_name) : QStringLiteral("$USER");
}

bool processHasGroup(gid_t group)
{
    if (getegid() == group)
        return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(count);
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[i] == group)
            return true;
    return false;
}

bool userListedInGroup(const group &entry, const QString &user)
{
    for (char **member = entry.gr_mem; member && *member; ++member)
        if (QString::fromLocal8Bit(*member) == user)
            return true;
    return false;
}

std::optional<PortOpenDiagnosis::DeviceAccess> accessOf(const QString &device)
{
    struct stat info
    {
    };
    const QByteArray path = QFile::encodeName(device);
    // The group hint fits only a device its group may read and write.
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    if (::stat(path.constData(), &info) != 0 || !S_ISCHR(info.st_mode) || info.st_gid == 0 ||
        (info.st_mode & groupReadWrite) != groupReadWrite)
        return std::nullopt;
    const group *owner = getgrgid(info.st_gid);
    if (!owner)
        return std::nullopt;
    PortOpenDiagnosis::DeviceAccess access;
    access.group = QString::fromLocal8Bit(owner->gr_name);
    access.user = userName();
    access.sessionHasGroup = processHasGroup(info.st_gid);
    access.userListedInGroup = userListedInGroup(*owner, access.user);
    return access;
}

QString busyHint(const QString &device)
{
    const QStringList holding = PortOpenDiagnosis::holders(device);
    if (holding.isEmpty())
        return QStringLiteral("Another program holds %1 (a terminal program, or ModemManager "
                              "probing a new adapter). Close it and connect again.")
            .arg(device);
    return QStringLiteral("%1 is held by %2. Close that program and connect again.")
        .arg(device, holding.join(QStringLiteral(", ")));
}

} // namespace

namespace PortOpenDiagnosis {

QString deviceHint(const QString &device, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return permissionHint(device, accessOf(device));
    case EBUSY:
    case EWOULDBLOCK:
        return busyHint(device);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("There is no device %1. Check that the adapter is plugged in "
                              "(ls /dev/serial/by-id/), or map the port to another device in "
                              "%2 or with PANTRIX_COMn.")
            .arg(device, PortsMap::filePath());
    case ENOTTY:
    case EISDIR:
        return QStringLiteral("%1 is no serial device.").arg(device);
    default:
        return {};
    }
}

QString permissionHint(const QString &device, const std::optional<DeviceAccess> &access)
{
    if (!access)
        return QStringLiteral("Your user may not open %1: check its permissions (ls -l %1).")
            .arg(device);
    if (access->userListedInGroup && !access->sessionHasGroup)
        return QStringLiteral("Your user is in the group '%1' that may use %2, but this session "
                              "started before it was added: log out and in again.")
            .arg(access->group, device);
    return QStringLiteral("Only members of the group '%1' may use %2. Add your user to it: "
                          "sudo adduser %3 %1, then log out and in again.")
        .arg(access->group, device, access->user);
}

QStringList holders(const QString &devicePath)
{
    const QString wanted = QFileInfo(devicePath).canonicalFilePath();
    if (wanted.isEmpty())
        return {};
    QStringList found;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : processes) {
        bool isPid = false;
        pid.toInt(&isPid);
        if (!isPid)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        const QStringList entries = fds.entryList(QDir::Files | QDir::System);
        for (const QString &fd : entries) {
            if (QFile::symLinkTarget(fds.filePath(fd)) != wanted)
                continue;
            QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
            const QString name = comm.open(QIODevice::ReadOnly)
                                     ? QString::fromLocal8Bit(comm.readAll().trimmed())
                                     : QStringLiteral("?");
            found << QStringLiteral("%1 (pid %2)").arg(name, pid);
            break;
        }
    }
    return found;
}

} // namespace PortOpenDiagnosis
