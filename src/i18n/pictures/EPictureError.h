#pragma once

#include "Exception.h"

// A picture file that cannot be shown: an extension that names no known
// format, or content that its decoder rejects.
class EPictureError : public Exception
{
public:
    using Exception::Exception;

    // `extension` as written in the path, without the dot.
    static EPictureError unknownExtension(const QString &extension);
    // `code` is the JPEG library's message code of the error that stopped decoding.
    static EPictureError jpeg(int code);
    static EPictureError invalidBitmap();
    static EPictureError invalidIcon();
    static EPictureError invalidMetafile();
    static EPictureError tooLarge();
};
