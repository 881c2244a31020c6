#pragma once

#include "Exception.h"

// A language file whose number of languages or highest row does not fit the
// language table. Raised before any cell is written, so the table keeps what
// it held; the text names the file's line and the value found there.
class ELanguageFileError : public Exception
{
public:
    ELanguageFileError(int line, int value, const QString &message);

    static ELanguageFileError languageCountOutOfRange(const QString &fileName, int value);
    static ELanguageFileError highestRowOutOfRange(const QString &fileName, int value);

    int line() const { return m_line; }
    int value() const { return m_value; }

private:
    int m_line;
    int m_value;
};
