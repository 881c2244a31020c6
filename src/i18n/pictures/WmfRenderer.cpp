#include "WmfRenderer.h"

#include <QtEndian>
#include <algorithm>

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qsizetype kPlaceableHeaderSize = 22;
constexpr qsizetype kHeaderSize = 18;
constexpr quint16 kEndOfFileFunction = 0x0000;
// Some writers declare an object table of a fixed size (16 slots) whatever
// they draw, so a table that small is always plausible.
constexpr qint64 kReservedObjectSlots = 16;

quint16 word(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 doubleWord(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

} // namespace

// A renderer trusts the header: libwmf allocates the largest record's size and
// the object table as declared before it reads a record, so a few bytes could
// make it ask for gigabytes. Every size is therefore held against the bytes
// that are really there.
bool WmfRenderer::hasValidFraming(QByteArrayView data)
{
    qsizetype start = 0;
    if (data.size() >= 4 && doubleWord(data, 0) == kPlaceableKey)
        start = kPlaceableHeaderSize;
    if (data.size() < start + kHeaderSize)
        return false;
    const QByteArrayView metafile = data.sliced(start);
    const quint16 type = word(metafile, 0);
    const quint16 headerWords = word(metafile, 2);
    const quint16 version = word(metafile, 4);
    if ((type != 1 && type != 2) || headerWords != 9 || (version != 0x0100 && version != 0x0300))
        return false;
    const quint32 fileWords = doubleWord(metafile, 6);
    const quint16 objectCount = word(metafile, 10);
    const quint32 maxRecordWords = doubleWord(metafile, 12);
    const qint64 metafileWords = metafile.size() / 2;
    if (fileWords < 9 || fileWords > metafileWords || maxRecordWords > metafileWords)
        return false;
    const std::optional<RecordSummary> records = walkRecords(metafile);
    return records && records->largestWords <= maxRecordWords &&
           objectCount <= std::max(records->countBeforeEnd, kReservedObjectSlots);
}

std::optional<WmfRenderer::RecordSummary> WmfRenderer::walkRecords(QByteArrayView metafile)
{
    RecordSummary summary;
    qsizetype at = kHeaderSize;
    while (at + 6 <= metafile.size()) {
        const quint32 recordWords = doubleWord(metafile, at);
        if (recordWords < 3 || qint64(recordWords) * 2 > metafile.size() - at)
            return std::nullopt;
        summary.largestWords = std::max(summary.largestWords, recordWords);
        if (word(metafile, at + 4) == kEndOfFileFunction)
            return summary;
        ++summary.countBeforeEnd;
        at += qsizetype(recordWords) * 2;
    }
    return std::nullopt;
}
