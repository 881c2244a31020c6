#include "EPictureError.h"
#include "RasterSize.h"
#include "WmfRenderer.h"

#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

namespace {

constexpr quint32 kPlaceableKey = 0x9AC6CDD7;
constexpr qsizetype kPlaceableHeaderSize = 22;
constexpr double kPointsPerInch = 72.0;

quint16 word(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 doubleWord(QByteArrayView data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.data() + at);
}

// libwmf hands the finished raster over and never frees it; its bundled gd
// does not export gdImageDestroy, so the image is released here, field by
// field as that function would.
void releaseGdImage(gdImage *image)
{
    if (!image)
        return;
    if (image->pixels) {
        for (int row = 0; row < image->sy; ++row)
            std::free(image->pixels[row]);
        std::free(image->pixels);
    }
    if (image->tpixels) {
        std::free(image->_tpixels);
        std::free(image->tpixels);
    }
    std::free(image->polyInts);
    std::free(image->style);
    if (image->clip) {
        std::free(image->clip->list);
        std::free(image->clip);
    }
    std::free(image);
}

// Owns one libwmf session with its memory source and raster.
class WmfSession
{
public:
    WmfSession()
    {
        wmfAPI_Options options{};
        options.function = wmf_gd_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_api_create(&m_api, flags, &options) != wmf_E_None) {
            if (m_api)
                wmf_api_destroy(m_api);
            throw EPictureError(QStringLiteral("The metafile renderer could not be started"));
        }
        device()->type = wmf_gd_image;
    }
    ~WmfSession()
    {
        releaseGdImage(static_cast<gdImage *>(device()->gd_image));
        if (m_opened)
            wmf_mem_close(m_api);
        wmf_api_destroy(m_api);
    }
    WmfSession(const WmfSession &) = delete;
    WmfSession &operator=(const WmfSession &) = delete;

    wmfAPI *api() const { return m_api; }
    wmf_gd_t *device() const { return WMF_GD_GetData(m_api); }

    void open(const QByteArray &data)
    {
        // libwmf reads the buffer only; its interface is not const-correct.
        auto *bytes = reinterpret_cast<unsigned char *>(const_cast<char *>(data.constData()));
        check(wmf_mem_open(m_api, bytes, long(data.size())));
        m_opened = true;
    }

    static void check(wmf_error_t error)
    {
        if (error != wmf_E_None)
            throw EPictureError::invalidMetafile();
    }

private:
    wmfAPI *m_api = nullptr;
    bool m_opened = false;
};

// libwmf measures in points from the window origin and scans only what is
// drawn. The placeable header states the page, which Windows shows whole,
// margins included; taking the window origin as the page's corner (as files
// written by Windows have it) and uniting with the drawing keeps both.
wmfD_Rect withPage(wmfD_Rect drawn, QByteArrayView data)
{
    if (data.size() < kPlaceableHeaderSize || doubleWord(data, 0) != kPlaceableKey)
        return drawn;
    const auto coordinate = [&](qsizetype at) { return qint16(word(data, at)); };
    const int width = coordinate(10) - coordinate(6);
    const int height = coordinate(12) - coordinate(8);
    const quint16 unitsPerInch = word(data, 14);
    if (width <= 0 || height <= 0 || unitsPerInch == 0)
        return drawn;
    const float pointsPerUnit = float(kPointsPerInch / unitsPerInch);
    wmfD_Rect page = drawn;
    page.TL.x = std::min(drawn.TL.x, 0.0f);
    page.TL.y = std::min(drawn.TL.y, 0.0f);
    page.BR.x = std::max(drawn.BR.x, float(width) * pointsPerUnit);
    page.BR.y = std::max(drawn.BR.y, float(height) * pointsPerUnit);
    return page;
}

QImage imageFromGd(const gdImage *image)
{
    QImage result(image->sx, image->sy, QImage::Format_ARGB32);
    for (int y = 0; y < image->sy; ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < image->sx; ++x) {
            const int pixel = image->tpixels[y][x];
            // gd keeps 7 bits of transparency, 0 meaning opaque.
            const int alpha = 255 - (gdTrueColorGetAlpha(pixel) * 255 + 63) / gdAlphaMax;
            line[x] = qRgba(gdTrueColorGetRed(pixel), gdTrueColorGetGreen(pixel),
                            gdTrueColorGetBlue(pixel), alpha);
        }
    }
    return result;
}

} // namespace

QImage WmfRenderer::render(const QByteArray &data)
{
    if (!hasValidFraming(data))
        throw EPictureError::invalidMetafile();
    WmfSession session;
    session.open(data);
    wmfD_Rect bounds{};
    WmfSession::check(wmf_scan(session.api(), 0, &bounds));
    bounds = withPage(bounds, data);
    const double pixelsPerPoint = PixelsPerInch / kPointsPerInch;
    const QSize size = RasterSize::forNaturalSize(
        QSizeF(double(bounds.BR.x - bounds.TL.x), double(bounds.BR.y - bounds.TL.y)) *
        pixelsPerPoint);
    if (size.isEmpty())
        throw EPictureError::invalidMetafile();
    wmf_gd_t *device = session.device();
    device->bbox = bounds;
    device->width = unsigned(size.width());
    device->height = unsigned(size.height());
    WmfSession::check(wmf_play(session.api(), 0, &bounds));
    const auto *image = static_cast<const gdImage *>(device->gd_image);
    if (!image || !image->tpixels || image->sx != size.width() || image->sy != size.height())
        throw EPictureError::invalidMetafile();
    return imageFromGd(image);
}
