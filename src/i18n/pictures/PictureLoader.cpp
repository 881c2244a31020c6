#include "PictureLoader.h"

#include "DataFile.h"
#include "EPictureError.h"
#include "EmfRenderer.h"
#include "Exception.h"
#include "JpegErrorProbe.h"
#include "WmfRenderer.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <cerrno>
#include <unistd.h>

namespace {

// Only a regular file is read, opened without blocking: a FIFO named in the
// language file must not hang the start.
QByteArray readWholeFile(const QString &path)
{
    const int fd = DataFile::openForReading(path);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw EInOutError::fromErrno(EIO, path);
    }
    if (file.size() > PictureLoader::MaxFileSize)
        throw EPictureError::tooLarge();
    QByteArray data = file.read(PictureLoader::MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw EInOutError::fromErrno(EIO, path);
    if (data.size() > PictureLoader::MaxFileSize)
        throw EPictureError::tooLarge();
    return data;
}

// Qt's reader with the format fixed by the extension, not guessed from content.
bool readWithQt(const QByteArray &data, const char *format, QImage &image,
                QString *reason = nullptr)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    if (reader.read(&image))
        return true;
    if (reason)
        *reason = reader.errorString();
    return false;
}

} // namespace

QImage PictureLoader::load(const QString &path)
{
    const QString extension = QFileInfo(path).suffix();
    if (formatOf(extension) == Format::Unknown)
        throw EPictureError::unknownExtension(extension);
    return decode(readWholeFile(path), extension);
}

QImage PictureLoader::decode(const QByteArray &data, const QString &extension)
{
    QImage image;
    switch (formatOf(extension)) {
    case Format::Bitmap:
        if (!readWithQt(data, "bmp", image))
            throw EPictureError::invalidBitmap();
        return image;
    case Format::Icon:
        if (!readWithQt(data, "ico", image))
            throw EPictureError::invalidIcon();
        return image;
    case Format::Jpeg:
        return decodeJpeg(data);
    case Format::WindowsMetafile:
        return WmfRenderer::render(data);
    case Format::EnhancedMetafile:
        return EmfRenderer::render(data);
    case Format::Unknown:
        break;
    }
    throw EPictureError::unknownExtension(extension);
}

PictureLoader::Format PictureLoader::formatOf(const QString &extension)
{
    const QString lower = extension.toLower();
    if (lower == u"bmp")
        return Format::Bitmap;
    if (lower == u"ico")
        return Format::Icon;
    if (lower == u"jpg" || lower == u"jpeg")
        return Format::Jpeg;
    if (lower == u"wmf")
        return Format::WindowsMetafile;
    if (lower == u"emf")
        return Format::EnhancedMetafile;
    return Format::Unknown;
}

// Qt decodes; when it fails, the JPEG library is asked for the reason, so the
// message carries the library's own error number. Should the library find no
// error (Qt refused for a reason of its own, such as the picture's size),
// Qt's reason is shown instead.
QImage PictureLoader::decodeJpeg(const QByteArray &data)
{
    QImage image;
    QString reason;
    if (readWithQt(data, "jpeg", image, &reason))
        return image;
    const int code = JpegErrorProbe::errorCode(data);
    if (code != 0)
        throw EPictureError::jpeg(code);
    throw EPictureError(reason);
}
