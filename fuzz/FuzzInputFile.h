#pragma once

// The fuzz input as a file, for the readers that take a path as the program
// hands them one. The file lives in a temporary folder for the whole run and
// is replaced for every input.
#include "DataFile.h"
#include "Exception.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

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

// The fuzz input read as a record file of `length` bytes, the way the window
// loads one: its first `length` bytes, or nothing when the file is shorter,
// which must raise a file error with a text.
inline std::optional<QByteArray> readFuzzRecord(const QString &name, const uint8_t *data,
                                                size_t size, int length)
{
    const QString path = writeFuzzInput(name, data, size);
    QByteArray block;
    try {
        block = DataFile::readBlock(path, length);
    } catch (const EInOutError &e) {
        if (size >= size_t(length) || e.message().isEmpty())
            std::abort();
        return std::nullopt;
    }
    if (size < size_t(length) || block.size() != length ||
        !std::equal(block.begin(), block.end(), reinterpret_cast<const char *>(data)))
        std::abort();
    return block;
}
