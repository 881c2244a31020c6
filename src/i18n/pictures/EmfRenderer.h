#pragma once

#include <QByteArray>
#include <QImage>

// Renders an enhanced metafile (EMF): libemf2svg turns the records into SVG,
// Qt's SVG renderer draws that on a transparent bitmap of the size the SVG
// states. The record framing is checked before libemf2svg sees the data,
// because the library trusts the sizes it reads; anything rejected raises
// EPictureError::invalidMetafile. EMF+ records are left to the library.
class EmfRenderer
{
public:
    static QImage render(const QByteArray &data);

    // A header record with the EMF signature, records of at least 8 bytes in
    // multiples of 4 that stay inside the data, and an end-of-file record.
    static bool hasValidFraming(QByteArrayView data);
};
