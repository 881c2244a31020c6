#include "TextLineReader.h"

#include "DataFile.h"
#include "Exception.h"

#include <cerrno>
#include <unistd.h>

namespace {

constexpr qsizetype kChunkSize = 16 * 1024;

} // namespace

TextLineReader::TextLineReader(const QString &path, qint64 maxSize)
    : m_path(path), m_maxSize(maxSize), m_fd(DataFile::openForReading(path, maxSize))
{}

TextLineReader::~TextLineReader()
{
    ::close(m_fd);
}

bool TextLineReader::atEnd()
{
    return m_position >= m_buffer.size() && !fillBuffer();
}

QByteArray TextLineReader::readLine()
{
    ++m_lineNumber;
    QByteArray line;
    while (!atEnd()) {
        const qsizetype newline = m_buffer.indexOf('\n', m_position);
        if (newline >= 0) {
            line.append(QByteArrayView(m_buffer).sliced(m_position, newline - m_position));
            m_position = newline + 1;
            if (line.endsWith('\r'))
                line.chop(1);
            return line;
        }
        line.append(QByteArrayView(m_buffer).sliced(m_position));
        m_position = m_buffer.size();
    }
    // The last line of a file may end with a lone CR where CR LF was cut short.
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Replaces the consumed buffer with the next chunk; false at the end of the file.
bool TextLineReader::fillBuffer()
{
    if (m_endOfFile)
        return false;
    m_buffer.resize(kChunkSize);
    m_position = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, m_buffer.data(), size_t(kChunkSize));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EInOutError::fromErrno(errno, m_path);
        // The file may grow while it is read.
        m_bytesRead += n;
        if (m_bytesRead > m_maxSize)
            throw EInOutError::tooLarge(m_path, m_maxSize);
        m_buffer.resize(n);
        m_endOfFile = n == 0;
        return !m_endOfFile;
    }
}
