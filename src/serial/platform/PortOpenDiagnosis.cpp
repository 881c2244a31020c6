#include "PortOpenDiagnosis.h"

#include "PortNameResolver.h"
#include "PortsMap.h"
#include "Rfc2217Address.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

QString localHint(const QString &device, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return PortOpenDiagnosis::permissionHint(device, accessOf(device));
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

QString networkHint(const QString &target, int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("The host name of %1 is unknown.").arg(target);
    case ECONNREFUSED:
        return QStringLiteral("Nothing accepts connections at %1: is the COM port server (or "
                              "pantrix-display-sim) running there?")
            .arg(target);
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("The COM port server %1 does not answer: check the address and the "
                              "network.")
            .arg(target);
    case EPROTONOSUPPORT:
        return QStringLiteral("The server at %1 refuses COM port control or binary transfer: is it "
                              "an RFC 2217 server?")
            .arg(target);
    default:
        return {};
    }
}

} // namespace

namespace PortOpenDiagnosis {

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

QString hint(const QString &target, int error)
{
    if (Rfc2217Address::isNetworkPath(target))
        return networkHint(target, error);
    return localHint(target, error);
}

QString explain(const QString &portName, const QString &errorText, int error)
{
    QStringList lines{PortNameResolver::describe(portName), errorText};
    const QString extra = hint(PortNameResolver::resolve(portName), error);
    if (!extra.isEmpty())
        lines << extra;
    return lines.join(u'\n');
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
