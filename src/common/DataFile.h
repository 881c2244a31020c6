#pragma once

#include <QByteArray>
#include <QString>

// Whole-file block input and output for the program's small data files
// (state file, settings and brightness files). Failures raise EInOutError.
namespace DataFile {

// Reads exactly `length` bytes from the start of an existing file, opened for
// reading only. A shorter file raises "Read beyond end of file"; the bytes it
// has are still returned through `partial` when given.
QByteArray readBlock(const QString &path, qsizetype length, QByteArray *partial = nullptr);

// Reads a whole file, opened for reading only.
QByteArray readAll(const QString &path);

// Replaces the file's content with `data`: written to a temporary file in the
// same folder, flushed to disk, then renamed over the target, so a failure
// leaves the earlier file whole.
void writeAtomically(const QString &path, const QByteArray &data);

} // namespace DataFile
