#include "EPictureError.h"
#include "GdiMetafileCanvas.h"
#include "RasterSize.h"
#include "WmfRenderer.h"

#include <QPainter>
#include <QtEndian>
#include <cmath>
#include <optional>
#include <windows.h>

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qsizetype kPlaceableHeaderSize = 22;
constexpr qsizetype kHeaderSize = 18;
constexpr quint16 kSetWindowExtFunction = 0x020C;
constexpr double kPointsPerInch = 72.0;
constexpr double kHimetricPerInch = 2540.0;

quint16 word(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 doubleWord(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

// The page of a placeable header in inches; nothing without one.
std::optional<QSizeF> placeablePage(QByteArrayView data)
{
    if (data.size() < kPlaceableHeaderSize || doubleWord(data, 0) != kPlaceableKey)
        return std::nullopt;
    const auto coordinate = [&](qsizetype at) { return qint16(word(data, at)); };
    const int width = coordinate(10) - coordinate(6);
    const int height = coordinate(12) - coordinate(8);
    const quint16 unitsPerInch = word(data, 14);
    if (width <= 0 || height <= 0 || unitsPerInch == 0)
        return std::nullopt;
    return QSizeF(width, height) / unitsPerInch;
}

// The extent of the first SETWINDOWEXT record (the records are already known
// to be framed soundly); nothing when the metafile sets none or a negative one.
std::optional<QSizeF> windowExtent(QByteArrayView metafile)
{
    qsizetype at = kHeaderSize;
    while (at + 10 <= metafile.size()) {
        const quint32 recordWords = doubleWord(metafile, at);
        if (word(metafile, at + 4) == kSetWindowExtFunction) {
            const qint16 height = qint16(word(metafile, at + 6));
            const qint16 width = qint16(word(metafile, at + 8));
            if (width <= 0 || height <= 0)
                return std::nullopt;
            return QSizeF(width, height);
        }
        if (recordWords < 3)
            break;
        at += qsizetype(recordWords) * 2;
    }
    return std::nullopt;
}

QImage onWhite(const QImage &picture)
{
    QImage result(picture.size(), QImage::Format_ARGB32);
    result.fill(Qt::white);
    QPainter painter(&result);
    painter.drawImage(0, 0, picture);
    return result;
}

} // namespace

// GDI converts the metafile to an enhanced one and plays that, at 96 pixels
// per inch on white, as the Linux renderer draws it. A placeable metafile
// shows its whole page. A plain one is taken to measure in points, as libwmf
// does, over its window extent, and is cut to the area drawn on.
QImage WmfRenderer::render(const QByteArray &data)
{
    if (!hasValidFraming(data))
        throw EPictureError::invalidMetafile();
    const std::optional<QSizeF> page = placeablePage(data);
    const QByteArrayView metafile = doubleWord(data, 0) == kPlaceableKey
                                        ? QByteArrayView(data).sliced(kPlaceableHeaderSize)
                                        : QByteArrayView(data);
    std::optional<QSizeF> inches = page;
    if (!inches) {
        if (const std::optional<QSizeF> extent = windowExtent(metafile))
            inches = *extent / kPointsPerInch;
    }
    // Without any size the reference device's screen is the frame; the cut to
    // the drawn area below still gives the picture its own size.
    METAFILEPICT picture{MM_ANISOTROPIC, 0, 0, nullptr};
    if (inches) {
        picture.xExt = LONG(std::lround(inches->width() * kHimetricPerInch));
        picture.yExt = LONG(std::lround(inches->height() * kHimetricPerInch));
    }
    const EnhancedMetafile enhanced(
        SetWinMetaFileBits(UINT(metafile.size()), reinterpret_cast<const BYTE *>(metafile.data()),
                           nullptr, inches ? &picture : nullptr));
    ENHMETAHEADER header{};
    if (!enhanced.get() || GetEnhMetaFileHeader(enhanced.get(), sizeof header, &header) == 0)
        throw EPictureError::invalidMetafile();
    const QSizeF frameInches = QSizeF(double(header.rclFrame.right) - header.rclFrame.left,
                                      double(header.rclFrame.bottom) - header.rclFrame.top) /
                               kHimetricPerInch;
    const QSize size = RasterSize::forNaturalSize(frameInches * PixelsPerInch);
    if (size.isEmpty())
        throw EPictureError::invalidMetafile();
    QImage image = GdiMetafileCanvas::paint(enhanced.get(), size);
    if (image.isNull())
        throw EPictureError::invalidMetafile();
    if (!page) {
        const QRect drawn = GdiMetafileCanvas::drawnArea(image);
        if (drawn.isEmpty())
            throw EPictureError::invalidMetafile();
        image = image.copy(drawn);
    }
    return onWhite(image);
}
