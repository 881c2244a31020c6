#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Loads the picture files that the language file names for the window's three
// pictures. The format follows the file's extension, in any letter case:
// bmp, ico, jpg and jpeg through Qt's readers, wmf and emf rendered to a
// bitmap. Failures raise exceptions whose text the error box shows:
// "Unknown picture file extension (.%s)" before the file is opened,
// EInOutError when it cannot be read, and for damaged content
// "JPEG error #%d" (the JPEG library's message code), "Bitmap image is not
// valid", "Icon image is not valid" or "Metafile is not valid". It does not
// scale the picture to its control.
class PictureLoader
{
public:
    // Files above this size are refused rather than read into memory.
    static constexpr qint64 MaxFileSize = 256 * 1024 * 1024;

    static QImage load(const QString &path);

    // Decodes data in the format that `extension` (without the dot) names.
    static QImage decode(const QByteArray &data, const QString &extension);

private:
    enum class Format
    {
        Bitmap,
        Icon,
        Jpeg,
        WindowsMetafile,
        EnhancedMetafile,
        Unknown
    };

    static Format formatOf(const QString &extension);
    static QImage decodeJpeg(const QByteArray &data);
};
