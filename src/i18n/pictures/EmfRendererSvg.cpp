#include "EPictureError.h"
#include "EmfRenderer.h"
#include "RasterSize.h"

#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <emf2svg.h>
#include <memory>

namespace {

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
