#include "PortOpenDiagnosis.h"
#include "PortsMap.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

// Whether `entry` is the same device as `wanted`: a character device by its
// device number (any node for it matches), anything else by its inode.
bool sameFile(const struct stat &entry, const struct stat &wanted)
{
    if (S_ISCHR(wanted.st_mode))
        return S_ISCHR(entry.st_mode) && entry.st_rdev == wanted.st_rdev;
    return entry.st_dev == wanted.st_dev && entry.st_ino == wanted.st_ino;
}

QString processName(int procFd, const char *pid)
{
    const std::string path = std::string(pid) + "/comm";
    const int fd = ::openat(procFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("?");
    char name[64];
    const ssize_t got = ::read(fd, name, sizeof name);
    ::close(fd);
    return got > 0 ? QString::fromLocal8Bit(name, got).trimmed() : QStringLiteral("?");
}

// What the search looks for.
struct WantedFile
{
    struct stat info
    {
    };
    QByteArray path;
    // For a pseudo-terminal's slave whose far end does not count, its index
    // (the N of /dev/pts/N); -1 otherwise.
    int ptyIndex = -1;
};

// The index of a pseudo-terminal slave (Unix 98 majors 136 to 143), or -1.
int ptyIndexOf(const struct stat &info)
{
    if (!S_ISCHR(info.st_mode))
        return -1;
    const unsigned int deviceMajor = major(info.st_rdev);
    if (deviceMajor < 136 || deviceMajor > 143)
        return -1;
    return int((deviceMajor - 136) * 256 + minor(info.st_rdev));
}

// The pseudo-terminal a master descriptor (/proc/PID/fd/FD on /dev/ptmx)
// serves, from its "tty-index" in /proc/PID/fdinfo/FD; -1 when unknown.
int masterIndex(int procFd, const char *pid, const char *fd)
{
    const std::string path = std::string(pid) + "/fdinfo/" + fd;
    const int info = ::openat(procFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return -1;
    char text[512];
    const ssize_t got = ::read(info, text, sizeof text - 1);
    ::close(info);
    if (got <= 0)
        return -1;
    text[got] = '\0';
    const char *field = std::strstr(text, "tty-index:");
    return field ? std::atoi(field + std::strlen("tty-index:")) : -1;
}

enum class Holding
{
    No,
    Yes,
    // It holds the master side of the pseudo-terminal: the far end.
    FarEnd
};

// Whether one of the descriptors in the open folder /proc/PID/fd is `wanted`.
// Only descriptors whose link names a device node, or the wanted path itself,
// are examined with stat: sockets and pipes are no match, and a stat of a
// file on a network file system could wait for its server.
Holding holdingOf(DIR *fds, int procFd, const char *pid, const WantedFile &wanted)
{
    const int fdsFd = ::dirfd(fds);
    const std::string_view wantedPath(wanted.path.constData(), size_t(wanted.path.size()));
    Holding holding = Holding::No;
    while (const dirent *entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.')
            continue;
        char link[PATH_MAX];
        const ssize_t length = ::readlinkat(fdsFd, entry->d_name, link, sizeof link - 1);
        if (length < 0 && errno == EACCES)
            break; // none of its descriptors may be read, then
        if (length <= 0)
            continue;
        const std::string_view target(link, size_t(length));
        if (wanted.ptyIndex >= 0 && (target == "/dev/ptmx" || target == "/dev/pts/ptmx") &&
            masterIndex(procFd, pid, entry->d_name) == wanted.ptyIndex)
            return Holding::FarEnd;
        if (holding == Holding::Yes || (!target.starts_with("/dev/") && target != wantedPath))
            continue;
        struct stat info
        {
        };
        if (::fstatat(fdsFd, entry->d_name, &info, 0) == 0 && sameFile(info, wanted.info))
            holding = Holding::Yes;
    }
    return holding;
}

// Every process but `skipPid` with a descriptor on `wanted`, read from /proc.
// A process's descriptors are readable by its own user and by root only, so
// an ordinary user finds the holders among their own programs (a terminal
// program started in another window, the usual case) and no one else's.
QStringList scanHolders(const WantedFile &wanted, pid_t skipPid)
{
    QStringList found;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    const int procFd = ::dirfd(proc);
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == skipPid)
            continue;
        const std::string fdFolder = std::string(entry->d_name) + "/fd";
        const int fdsFd = ::openat(procFd, fdFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdsFd < 0)
            continue; // another user's process, or one that just ended
        DIR *fds = ::fdopendir(fdsFd);
        if (!fds) {
            ::close(fdsFd);
            continue;
        }
        const Holding holding = holdingOf(fds, procFd, entry->d_name, wanted);
        ::closedir(fds);
        if (holding == Holding::Yes)
            found << QStringLiteral("%1 (pid %2)").arg(processName(procFd, entry->d_name)).arg(pid);
    }
    ::closedir(proc);
    return found;
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
    WantedFile wanted;
    if (::stat(QFile::encodeName(devicePath).constData(), &wanted.info) != 0)
        return {};
    wanted.path = QFile::encodeName(QFileInfo(devicePath).canonicalFilePath());
    return scanHolders(wanted, 0);
}

QStringList otherHolders(int fd)
{
    WantedFile wanted;
    if (::fstat(fd, &wanted.info) != 0)
        return {};
    wanted.path =
        QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)));
    // Whoever holds a pseudo-terminal's master plays the device at its far
    // end (socat's pair, a simulator, a test) and often keeps the slave open
    // as well, so that the line stays up between connections: that is no
    // second user of the port.
    wanted.ptyIndex = ptyIndexOf(wanted.info);
    return scanHolders(wanted, ::getpid());
}

} // namespace PortOpenDiagnosis
