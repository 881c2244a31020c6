#pragma once

#include <QSize>
#include <QSizeF>
#include <algorithm>
#include <cmath>

// The pixel size in which a metafile is rendered: its natural size, scaled
// down where a side would exceed MaxSide, so that a metafile announcing a
// huge frame cannot demand gigabytes of raster. Empty when the natural size
// is below half a pixel, infinite or not a number.
namespace RasterSize {

constexpr int MaxSide = 4096;

inline QSize forNaturalSize(QSizeF natural)
{
    if (!std::isfinite(natural.width()) || !std::isfinite(natural.height()) ||
        natural.width() < 0.5 || natural.height() < 0.5)
        return {};
    const double scale = std::min(1.0, MaxSide / std::max(natural.width(), natural.height()));
    return QSize(std::max(1, int(std::lround(natural.width() * scale))),
                 std::max(1, int(std::lround(natural.height() * scale))));
}

} // namespace RasterSize
