#pragma once

#include <QByteArrayView>

// Finds out why a JPEG could not be decoded: decodes the data once more with
// the JPEG library itself and returns the library's message code of the error
// that stopped it (the number behind "JPEG error #%d"), or 0 when the library
// finds no error. Warnings, such as a file that ends early, are no errors: the
// library fills in the missing part. It returns no picture. The Windows build
// has no JPEG library of its own and reads the code from the message that
// Qt's JPEG plugin logs (see JpegErrorProbeQt.cpp).
class JpegErrorProbe
{
public:
    // Above this many pixels the data is not decoded again, so that a corrupt
    // header cannot make the probe run for minutes.
    static constexpr qint64 MaxPixels = 64 * 1024 * 1024;

    static int errorCode(QByteArrayView data);
};
