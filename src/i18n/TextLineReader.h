#pragma once

#include <QByteArray>
#include <QString>

// Reads a text file line by line as raw bytes. A line ends with CR LF or a
// lone LF; the end marker is not part of the line. Past the end of the file
// every line reads as empty, so a reader of a fixed layout needs no special
// case for a short file. Only a regular file of at most `maxSize` bytes is
// read (see DataFile::openForReading); failures raise EInOutError.
class TextLineReader
{
public:
    TextLineReader(const QString &path, qint64 maxSize);
    ~TextLineReader();
    TextLineReader(const TextLineReader &) = delete;
    TextLineReader &operator=(const TextLineReader &) = delete;

    QByteArray readLine();
    bool atEnd();
    // The number of lines read so far, including those read past the end.
    int lineNumber() const { return m_lineNumber; }

private:
    bool fillBuffer();

    QString m_path;
    qint64 m_maxSize;
    qint64 m_bytesRead = 0;
    int m_fd = -1;
    QByteArray m_buffer;
    qsizetype m_position = 0;
    bool m_endOfFile = false;
    int m_lineNumber = 0;
};
