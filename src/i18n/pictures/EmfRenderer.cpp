#include "EmfRenderer.h"

#include "EPictureError.h"
#include "RasterSize.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>
#include <cstdlib>
#include <emf2svg.h>
#include <memory>

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

QByteArray convertToSvg(const QByteArray &data)
{
    // Without a namespace prefix the library writes plain SVG and allocates no
    // prefix string, which it would never free.
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.svgDelimiter = true;
    options.emfplus = true;
    char *svg = nullptr;
    size_t length = 0;
    // libemf2svg reads the buffer only; its interface is not const-correct.
    const int ok =
        emf2svg(const_cast<char *>(data.constData()), size_t(data.size()), &svg, &length, &options);
    const std::unique_ptr<char, decltype(&std::free)> owner(svg, &std::free);
    if (!ok || !svg || length == 0)
        throw EPictureError::invalidMetafile();
    return QByteArray(svg, qsizetype(length));
}

} // namespace

QImage EmfRenderer::render(const QByteArray &data)
{
    if (!hasValidFraming(data))
        throw EPictureError::invalidMetafile();
    QSvgRenderer renderer(convertToSvg(data));
    if (!renderer.isValid())
        throw EPictureError::invalidMetafile();
    const QSize size = RasterSize::forNaturalSize(renderer.defaultSize());
    if (size.isEmpty())
        throw EPictureError::invalidMetafile();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image;
}

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
