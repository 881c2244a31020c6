#include "LanguageFileReader.h"

#include "Conversions.h"
#include "ELanguageFileError.h"
#include "LanguageTable.h"
#include "TextLineReader.h"
#include "Win1252.h"

#include <QFileInfo>

namespace {

int lineToInt(const QByteArray &line)
{
    return Conversions::strToInt(Win1252::toUnicode(line));
}

} // namespace

LanguageFileSummary LanguageFileReader::read(const QString &path,
                                             const PictureCallback &loadPicture)
{
    TextLineReader lines(path, MaxFileSize);
    LanguageFileSummary summary;
    m_scrambled = lines.readLine() == "TRUE";
    summary.scrambled = m_scrambled;
    m_scrambler.seed();

    const QByteArray languageCountLine = readTransformed(lines);
    for (int i = 0; i < PictureCount; ++i) {
        summary.picturePaths[i] = Win1252::toUnicode(readTransformed(lines));
        const QString existing = existingPicturePath(summary.picturePaths[i]);
        if (!existing.isEmpty() && loadPicture)
            loadPicture(i, existing);
    }
    const QByteArray highestRowLine = readTransformed(lines);
    for (int i = 0; i < IgnoredLineCount; ++i)
        lines.readLine();

    const QString fileName = QFileInfo(path).fileName();
    summary.languageCount = lineToInt(languageCountLine);
    if (summary.languageCount < 1 || summary.languageCount > LanguageTable::MaxLanguages)
        throw ELanguageFileError::languageCountOutOfRange(fileName, summary.languageCount);
    summary.highestRow = lineToInt(highestRowLine);
    if (summary.highestRow < 0 || summary.highestRow >= LanguageTable::RowCount)
        throw ELanguageFileError::highestRowOutOfRange(fileName, summary.highestRow);

    readRows(lines, summary.languageCount, summary.highestRow);
    return summary;
}

QString LanguageFileReader::existingPicturePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    if (QFileInfo(path).isFile())
        return path;
    QString withSlashes = path;
    withSlashes.replace(u'\\', u'/');
    if (withSlashes != path && QFileInfo(withSlashes).isFile())
        return withSlashes;
    return {};
}

QByteArray LanguageFileReader::readTransformed(TextLineReader &lines)
{
    QByteArray line = lines.readLine();
    if (m_scrambled)
        m_scrambler.UnscrambleLine(line);
    return line;
}

// A file that ends early reads as empty lines, so the loop always ends after
// L x (R + 1) lines, at most 900.
void LanguageFileReader::readRows(TextLineReader &lines, int languageCount, int highestRow)
{
    for (int column = 1; column <= languageCount; ++column) {
        for (int row = 0; row <= highestRow; ++row)
            m_table.setCell(column, row, readTransformed(lines));
    }
}
