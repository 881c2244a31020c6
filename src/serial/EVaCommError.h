#pragma once

#include "Exception.h"

// Every error the serial component raises: its message text and, where the
// operating system gave one, the error number behind it (0 otherwise), so
// that the window can explain a port that does not open.
class EVaCommError : public Exception
{
public:
    using Exception::Exception;
    EVaCommError(const QString &message, int osError) : Exception(message), m_osError(osError) {}

    int osError() const { return m_osError; }

    // Fills the first %d of `format` with `code` and the first %s with `text`;
    // "%%" stands for a percent sign. Other text stays as it is.
    static QString Format(const QString &format, int code, const QString &text);
    // The same for a format with only a %s.
    static QString Format(const QString &format, const QString &text);

private:
    int m_osError = 0;
};
