#include "ELanguageFileError.h"

#include "LanguageTable.h"

ELanguageFileError::ELanguageFileError(int line, int value, const QString &message)
    : Exception(message), m_line(line), m_value(value)
{}

ELanguageFileError ELanguageFileError::languageCountOutOfRange(const QString &fileName, int value)
{
    return ELanguageFileError(
        2, value,
        QStringLiteral("Line 2 of %1 gives %2 languages; 1 to %3 are supported")
            .arg(fileName)
            .arg(value)
            .arg(LanguageTable::MaxLanguages));
}

ELanguageFileError ELanguageFileError::highestRowOutOfRange(const QString &fileName, int value)
{
    return ELanguageFileError(
        6, value,
        QStringLiteral("Line 6 of %1 gives %2 as the highest row; 0 to %3 are supported")
            .arg(fileName)
            .arg(value)
            .arg(LanguageTable::RowCount - 1));
}
