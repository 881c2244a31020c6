#pragma once

// The fuzz input as a file, for the readers that take a path as the program
// hands them one. The file lives in a temporary folder for the whole run and
// is replaced for every input.
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

inline QString writeFuzzInput(const QString &name, const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    if (!dir.isValid())
        std::abort();
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    return path;
}
