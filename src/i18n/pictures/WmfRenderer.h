#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

// Renders a Windows metafile (WMF, with or without the placeable header) to a
// bitmap with libwmf, at 96 pixels per inch and on a white background: the
// page of the placeable header, or without one the area that is drawn on. The
// record framing is checked before libwmf sees the data; content that the
// library rejects raises EPictureError::invalidMetafile too. It draws once and
// keeps nothing; scaling to a control is the caller's business.
class WmfRenderer
{
public:
    static constexpr double PixelsPerInch = 96.0;

    static QImage render(const QByteArray &data);

    // Header fields and record sizes consistent with the data's length, ending
    // with the end-of-file record: the declared file size and largest record
    // fit in the data, no record is larger than the declared largest, and the
    // object table has no more slots than there are records to fill them
    // (or than the 16 that writers commonly reserve).
    static bool hasValidFraming(QByteArrayView data);

private:
    struct RecordSummary
    {
        quint32 largestWords = 0;
        qint64 countBeforeEnd = 0;
    };
    // Follows the records from behind the header to the end-of-file record;
    // nothing when a size is below the minimum or runs past the data.
    static std::optional<RecordSummary> walkRecords(QByteArrayView metafile);
};
