#include "EPictureError.h"

EPictureError EPictureError::unknownExtension(const QString &extension)
{
    return EPictureError(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
}

EPictureError EPictureError::jpeg(int code)
{
    return EPictureError(QStringLiteral("JPEG error #%1").arg(code));
}

EPictureError EPictureError::invalidBitmap()
{
    return EPictureError(QStringLiteral("Bitmap image is not valid"));
}

EPictureError EPictureError::invalidIcon()
{
    return EPictureError(QStringLiteral("Icon image is not valid"));
}

EPictureError EPictureError::invalidMetafile()
{
    return EPictureError(QStringLiteral("Metafile is not valid"));
}

EPictureError EPictureError::tooLarge()
{
    return EPictureError(QStringLiteral("Picture file is too large"));
}
