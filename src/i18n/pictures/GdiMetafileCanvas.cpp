#include "GdiMetafileCanvas.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// One top-down 32-bit DIB section selected into a memory DC.
class DibCanvas
{
public:
    explicit DibCanvas(QSize size) : m_size(size)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = size.width();
        info.bmiHeader.biHeight = -size.height();
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        m_dc = CreateCompatibleDC(nullptr);
        if (!m_dc)
            return;
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &m_bits, nullptr, 0);
        if (m_bitmap)
            m_previous = SelectObject(m_dc, m_bitmap);
    }
    ~DibCanvas()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
        if (m_bitmap)
            DeleteObject(m_bitmap);
        if (m_dc)
            DeleteDC(m_dc);
    }
    DibCanvas(const DibCanvas &) = delete;
    DibCanvas &operator=(const DibCanvas &) = delete;

    bool isValid() const { return m_bits != nullptr; }

    // Fills the canvas with `byte` in every channel and plays the metafile on it.
    bool play(HENHMETAFILE metafile, unsigned char byte)
    {
        std::memset(m_bits, byte, size_t(m_size.width()) * size_t(m_size.height()) * 4);
        GdiFlush();
        const RECT target{0, 0, m_size.width(), m_size.height()};
        const bool played = PlayEnhMetaFile(m_dc, metafile, &target) != FALSE;
        GdiFlush();
        return played;
    }

    const quint32 *pixels() const { return static_cast<const quint32 *>(m_bits); }

private:
    QSize m_size;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_previous = nullptr;
    void *m_bits = nullptr;
};

} // namespace

QImage GdiMetafileCanvas::paint(HENHMETAFILE metafile, QSize size)
{
    DibCanvas onWhite(size);
    DibCanvas onBlack(size);
    if (!onWhite.isValid() || !onBlack.isValid())
        return {};
    // A record GDI cannot play does not stop the others; what it drew is kept,
    // as Windows shows such a picture.
    onWhite.play(metafile, 0xFF);
    onBlack.play(metafile, 0x00);
    QImage image(size, QImage::Format_ARGB32);
    const quint32 *white = onWhite.pixels();
    const quint32 *black = onBlack.pixels();
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const qsizetype at = qsizetype(y) * size.width() + x;
            // GDI leaves the fourth byte of a pixel undefined; only colour counts.
            const quint32 colour = white[at] & 0x00FFFFFF;
            line[x] = colour == (black[at] & 0x00FFFFFF) ? (0xFF000000 | colour) : 0;
        }
    }
    return image;
}

QRect GdiMetafileCanvas::drawnArea(const QImage &image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}
