#pragma once

#include <QImage>

// The pictures the window shows until the language file names others: drawn
// at start, 24 bits per pixel, at the sizes the window's frames expect.
namespace BuiltInPictures {

QImage bottomLeft();  // Image1, 999 x 333: the PANTRIX name plate
QImage bottomRight(); // Image2, 720 x 240: a display showing a value
QImage info();        // Image3, 360 x 360: the display icon

} // namespace BuiltInPictures
