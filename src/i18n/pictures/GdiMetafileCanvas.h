#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <windows.h>

// Plays an enhanced metafile with GDI into a 32-bit DIB section and hands the
// result over as a QImage. GDI has no alpha channel, so the picture is played
// twice, on white and on black: a pixel that differs between the two was not
// drawn and becomes transparent. Only used by the Windows renderers.
class GdiMetafileCanvas
{
public:
    // The metafile's frame stretched over `size` pixels; undrawn pixels are
    // transparent. A null image when GDI refuses (no memory for the DIB).
    static QImage paint(HENHMETAFILE metafile, QSize size);

    // The smallest rectangle holding every pixel that is not transparent;
    // empty when nothing was drawn.
    static QRect drawnArea(const QImage &image);
};

// Owns an enhanced metafile handle and deletes it.
class EnhancedMetafile
{
public:
    explicit EnhancedMetafile(HENHMETAFILE handle) : m_handle(handle) {}
    ~EnhancedMetafile()
    {
        if (m_handle)
            DeleteEnhMetaFile(m_handle);
    }
    EnhancedMetafile(const EnhancedMetafile &) = delete;
    EnhancedMetafile &operator=(const EnhancedMetafile &) = delete;
    HENHMETAFILE get() const { return m_handle; }

private:
    HENHMETAFILE m_handle;
};
