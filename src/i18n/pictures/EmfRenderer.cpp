#include "EmfRenderer.h"

#include <QtEndian>

namespace {

constexpr quint32 kHeaderType = 1;
constexpr quint32 kEndOfFileType = 14;
constexpr quint32 kSignature = 0x464D4520; // " EMF"
constexpr qsizetype kSignatureOffset = 40;
constexpr qsizetype kMinimumHeaderSize = 88;

quint32 doubleWord(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

} // namespace

bool EmfRenderer::hasValidFraming(QByteArrayView data)
{
    if (data.size() < kMinimumHeaderSize || doubleWord(data, 0) != kHeaderType ||
        doubleWord(data, kSignatureOffset) != kSignature)
        return false;
    qsizetype at = 0;
    while (at + 8 <= data.size()) {
        const quint32 type = doubleWord(data, at);
        const quint32 size = doubleWord(data, at + 4);
        if (size < 8 || size % 4 != 0 || qint64(size) > data.size() - at)
            return false;
        if (at == 0 && size < kMinimumHeaderSize)
            return false;
        if (type == kEndOfFileType)
            return true;
        at += qsizetype(size);
    }
    return false;
}
