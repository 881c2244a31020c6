#include "DataFile.h"
#include "Exception.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DataFile {

namespace {

// Linux gives up on a chain of links after 40; so do we.
constexpr int MaxLinkHops = 40;

class FdCloser
{
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

[[noreturn]] void fail(int err, const QByteArray &native)
{
    throw EInOutError::fromErrno(err, QFile::decodeName(native));
}

// Writes all of `data` at `offset`; false with errno set when that fails.
bool writeFully(int fd, const QByteArray &data, off_t offset)
{
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::pwrite(fd, data.constData() + written, size_t(data.size() - written),
                                   offset + off_t(written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        written += n;
    }
    return true;
}

QByteArray folderOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file a chain of symbolic links ends at, which need not exist yet.
QByteArray resolveLinks(QByteArray path)
{
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        struct stat st
        {
        };
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            fail(errno, path);
        target.truncate(n);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    fail(ELOOP, path);
}

// Opens an existing regular file without blocking and describes it in `st`;
// -1 with errno when it cannot be looked at or opened. Looked at before
// opening, so that opening cannot wake a device, and again after, for a FIFO
// put there meanwhile.
int openRegular(const QByteArray &native, int access, struct stat &st)
{
    if (::stat(native.constData(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode))
        throw EInOutError::notRegularFile();
    const int fd = ::open(native.constData(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    FdCloser closer(fd);
    if (::fstat(fd, &st) != 0)
        fail(errno, native);
    if (!S_ISREG(st.st_mode))
        throw EInOutError::notRegularFile();
    return closer.release();
}

// The existing target opened for writing, as a write to it would be (so
// write protection, a read-only file system and so on are found before
// anything changes), or -1 when there is no such file yet.
int openExistingForWriting(const QByteArray &native)
{
    struct stat st
    {
    };
    const int fd = openRegular(native, O_WRONLY, st);
    if (fd < 0 && errno != ENOENT)
        fail(errno, native);
    return fd;
}

// Rewrites an open file in place: the new bytes over the old, then cut to
// their length.
void writeInPlace(int fd, const QByteArray &data, const QByteArray &native)
{
    if (!writeFully(fd, data, 0) || ::ftruncate(fd, off_t(data.size())) != 0 || ::fsync(fd) != 0)
        fail(errno, native);
}

// The process's file-creation mask. Read from /proc, because umask() can only
// be asked by setting it, which would race with files other threads create.
mode_t creationMask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return mode_t(mask & 0777);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// Gives the owner (where allowed) of the file being replaced to the new one.
// Done before its mode is set, as a change of owner clears set-id bits.
void takeOverOwner(int tempFd, int existingFd)
{
    struct stat st
    {
    };
    if (existingFd < 0 || ::fstat(existingFd, &st) != 0)
        return;
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(tempFd, st.st_uid, st.st_gid) != 0) {
        // Not allowed to give the file away: it stays ours, as a new file would.
    }
}

// Widens the new file, created private, to the mode of the file it replaces,
// or to the mode a new file gets (0666 less the umask). Only done once the
// data are in it, right before it takes the target's name. A file system
// without modes (vfat) may refuse; the file is saved all the same.
void widenMode(int tempFd, int existingFd)
{
    struct stat st
    {
    };
    const mode_t mode = existingFd >= 0 && ::fstat(existingFd, &st) == 0 ? st.st_mode & 07777
                                                                         : 0666 & ~creationMask();
    if (::fchmod(tempFd, mode) != 0) {
        // Refused: the file keeps the owner-only mode it was created with.
    }
}

// Creates a hidden temporary file beside the target, readable and writable by
// the owner only, so no one else can open it while it is written. -1 with
// errno on failure.
int createTemporary(const QByteArray &target, QByteArray &tempName)
{
    const QByteArray stem = folderOf(target) + "/." + target.mid(target.lastIndexOf('/') + 1) + '.';
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = stem + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(tempName.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// Makes the rename itself survive a power cut; a folder that cannot be
// synced costs only that.
void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

nlink_t linkCountOf(int fd)
{
    struct stat st
    {
    };
    return ::fstat(fd, &st) == 0 ? st.st_nlink : 1;
}

bool folderRefuses(int err)
{
    return err == EACCES || err == EPERM;
}

// Writes the data to a temporary file beside the target and renames it over
// the target. False, with errno set and nothing changed, when the folder
// refuses the new file or the rename; any other failure raises.
bool replaceByRename(const QByteArray &target, int existingFd, const QByteArray &data)
{
    const QByteArray folder = folderOf(target);
    QByteArray tempName;
    const int tempFd = createTemporary(target, tempName);
    if (tempFd < 0) {
        if (folderRefuses(errno))
            return false;
        fail(errno, target);
    }
    FdCloser temp(tempFd);
    takeOverOwner(tempFd, existingFd);
    int err = 0;
    if (!writeFully(tempFd, data, 0))
        err = errno;
    widenMode(tempFd, existingFd);
    if (err == 0 && ::fsync(tempFd) != 0)
        err = errno;
    if (::close(temp.release()) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(tempName.constData(), target.constData()) != 0)
        err = errno;
    if (err == 0) {
        syncFolder(folder);
        return true;
    }
    ::unlink(tempName.constData());
    if (folderRefuses(err) && existingFd >= 0) {
        errno = err;
        return false;
    }
    fail(err, target);
}

} // namespace

int openForReading(const QString &path, qint64 maxSize)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    const int fd = openRegular(native, O_RDONLY, st);
    if (fd < 0)
        fail(errno, native);
    if (maxSize >= 0 && st.st_size > maxSize) {
        ::close(fd);
        throw EInOutError::tooLarge(path, maxSize);
    }
    return fd;
}

void writeAtomically(const QString &path, const QByteArray &data)
{
    const QByteArray target = resolveLinks(QFile::encodeName(path));
    FdCloser existing(openExistingForWriting(target));
    // A file with further hard links is shared: a new file would part it from them.
    if (existing.get() >= 0 && linkCountOf(existing.get()) > 1) {
        writeInPlace(existing.get(), data, target);
        return;
    }
    if (replaceByRename(target, existing.get(), data))
        return;
    // The folder takes no new file (no write right, or a sticky folder and
    // the file is another user's), but the file itself may be writable.
    const int err = errno;
    if (existing.get() < 0)
        fail(err, target);
    writeInPlace(existing.get(), data, target);
}

} // namespace DataFile
