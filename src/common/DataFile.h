#pragma once

#include <QByteArray>
#include <QString>

// Whole-file block input and output for the program's small data files
// (state file, settings and brightness files, language file). Failures raise
// EInOutError.
//
// Only regular files are read or replaced (a symbolic link to one is fine): a
// folder, FIFO, device or socket is refused with "File access denied" at once,
// without ever blocking on it, so a FIFO or /dev/zero under a data file's name
// cannot hang the window or fill the memory.
namespace DataFile {

// Opens an existing regular file for reading and returns its descriptor, which
// the caller closes. A file larger than `maxSize` bytes (when not negative)
// raises "File too large".
int openForReading(const QString &path, qint64 maxSize = -1);

// Reads exactly `length` bytes from the start of an existing file, opened for
// reading only. A shorter file raises "Read beyond end of file"; the bytes it
// has are still returned through `partial` when given.
QByteArray readBlock(const QString &path, qsizetype length, QByteArray *partial = nullptr);

// Reads a whole file of at most `maxSize` bytes, opened for reading only.
QByteArray readAll(const QString &path, qint64 maxSize);

// Replaces the content of the file with `data`. A symbolic link is followed
// and kept; its target is replaced. The data go to a temporary file in the
// target's folder, are flushed to disk and renamed over the target, so a
// failure leaves the earlier file whole; a file the user may not write is
// refused with "File access denied" and left as it is. The file is rewritten
// in place instead (not atomic then, but what a plain write always did) when
// the folder takes no new file or refuses the rename while the file itself is
// writable, and when the file has further hard links that must keep seeing it.
void writeAtomically(const QString &path, const QByteArray &data);

} // namespace DataFile
