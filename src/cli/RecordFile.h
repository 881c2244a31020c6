#pragma once

#include "DataFile.h"

#include <algorithm>
#include <tuple>

// A settings or brightness record from its file, read as the window reads it:
// the record's first bytes (30 or 21), failing with the window's file errors.
template <typename Bytes> Bytes readRecordFile(const QString &path)
{
    const QByteArray data = DataFile::readBlock(path, qsizetype(std::tuple_size_v<Bytes>));
    Bytes record{};
    std::copy(data.begin(), data.end(), record.begin());
    return record;
}
