#include "DataFile.h"

#include "Exception.h"

#include <cerrno>
#include <unistd.h>

// Reading is the same everywhere once the platform part has opened the file
// (see DataFilePosix.cpp and DataFileWin32.cpp): a C library descriptor.
namespace DataFile {

namespace {

class DescriptorCloser
{
public:
    explicit DescriptorCloser(int fd) : m_fd(fd) {}
    ~DescriptorCloser() { ::close(m_fd); }
    DescriptorCloser(const DescriptorCloser &) = delete;
    DescriptorCloser &operator=(const DescriptorCloser &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

QByteArray readBlock(const QString &path, qsizetype length, QByteArray *partial)
{
    DescriptorCloser fd(openForReading(path));
    QByteArray data(length, '\0');
    qsizetype got = 0;
    while (got < length) {
        const auto n = ::read(fd.get(), data.data() + got, unsigned(length - got));
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

QByteArray readAll(const QString &path, qint64 maxSize)
{
    DescriptorCloser fd(openForReading(path, maxSize));
    QByteArray data;
    char buffer[4096];
    for (;;) {
        const auto n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError::fromErrno(errno, path);
        }
        if (n == 0)
            return data;
        // The file may grow while it is read.
        if (data.size() + n > maxSize)
            throw EInOutError::tooLarge(path, maxSize);
        data.append(buffer, n);
    }
}

} // namespace DataFile
