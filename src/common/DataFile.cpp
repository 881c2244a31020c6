#include "DataFile.h"

#include "Exception.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DataFile {

namespace {

class FdCloser
{
public:
    explicit FdCloser(int fd) : m_fd(fd) {}
    ~FdCloser()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

} // namespace

QByteArray readBlock(const QString &path, qsizetype length, QByteArray *partial)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError::fromErrno(errno, path);
    FdCloser closer(fd);
    QByteArray data(length, '\0');
    qsizetype got = 0;
    while (got < length) {
        const ssize_t n = ::read(fd, data.data() + got, size_t(length - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError::fromErrno(errno, path);
        }
        if (n == 0)
            break;
        got += n;
    }
    if (got < length) {
        if (partial)
            *partial = data.left(got);
        throw EInOutError::readBeyondEnd();
    }
    return data;
}

QByteArray readAll(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EInOutError::fromErrno(errno, path);
    FdCloser closer(fd);
    QByteArray data;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError::fromErrno(errno, path);
        }
        if (n == 0)
            return data;
        data.append(buffer, n);
    }
}

void writeAtomically(const QString &path, const QByteArray &data)
{
    const QFileInfo target(path);
    const QByteArray templ = QFile::encodeName(target.absolutePath() + QLatin1String("/.") +
                                               target.fileName() + QLatin1String(".XXXXXX"));
    QByteArray tempName = templ;
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw EInOutError::fromErrno(err, path);
    }
    FdCloser closer(fd);
    auto fail = [&](int err) {
        ::close(closer.release());
        ::unlink(tempName.constData());
        throw EInOutError::fromErrno(err, path);
    };
    // Keep the permissions of a file being replaced; new files get the usual 0666 & ~umask.
    const QByteArray native = QFile::encodeName(path);
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) == 0) {
        ::fchmod(fd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(ENOSPC);
        written += n;
    }
    if (::fsync(fd) != 0)
        fail(errno);
    if (::close(closer.release()) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        throw EInOutError::fromErrno(err, path);
    }
    if (::rename(tempName.constData(), native.constData()) != 0) {
        const int err = errno;
        ::unlink(tempName.constData());
        throw EInOutError::fromErrno(err, path);
    }
}

} // namespace DataFile
