#pragma once

#include "Exception.h"

// Every error the serial component raises; it carries its message text only.
class EVaCommError : public Exception
{
public:
    using Exception::Exception;

    // Fills the first %d of `format` with `code` and the first %s with `text`;
    // "%%" stands for a percent sign. Other text stays as it is.
    static QString Format(const QString &format, int code, const QString &text);
    // The same for a format with only a %s.
    static QString Format(const QString &format, const QString &text);
};
