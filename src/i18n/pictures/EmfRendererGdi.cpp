#include "EPictureError.h"
#include "EmfRenderer.h"
#include "GdiMetafileCanvas.h"
#include "RasterSize.h"

#include <windows.h>

// GDI plays the records. The picture gets the size its header's bounds give
// in pixels, on a transparent background, as the Linux renderer draws it.
QImage EmfRenderer::render(const QByteArray &data)
{
    if (!hasValidFraming(data))
        throw EPictureError::invalidMetafile();
    const EnhancedMetafile metafile(
        SetEnhMetaFileBits(UINT(data.size()), reinterpret_cast<const BYTE *>(data.constData())));
    ENHMETAHEADER header{};
    if (!metafile.get() || GetEnhMetaFileHeader(metafile.get(), sizeof header, &header) == 0)
        throw EPictureError::invalidMetafile();
    const QSize size =
        RasterSize::forNaturalSize(QSizeF(double(header.rclBounds.right) - header.rclBounds.left,
                                          double(header.rclBounds.bottom) - header.rclBounds.top));
    if (size.isEmpty())
        throw EPictureError::invalidMetafile();
    const QImage image = GdiMetafileCanvas::paint(metafile.get(), size);
    if (image.isNull())
        throw EPictureError::invalidMetafile();
    return image;
}
