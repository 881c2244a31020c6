#pragma once

#include "LineScrambler.h"

#include <QString>
#include <array>
#include <functional>

class LanguageTable;
class TextLineReader;

// What a language file gave besides the table cells.
struct LanguageFileSummary
{
    bool scrambled = false;
    int languageCount = 0;
    int highestRow = 0;
    // Lines 3 to 5 after unscrambling, for Image1, Image2 and Image3.
    std::array<QString, 3> picturePaths;
};

// Reads a language file ("Language.mlf") into the language table:
// line 1 the mode flag (exactly "TRUE" means scrambled), line 2 the number of
// languages L, lines 3 to 5 picture paths, line 6 the highest row R, lines 7
// to 16 ignored, then L blocks of R + 1 rows for columns 1 to L. In scrambled
// mode lines 2 to 6 and the rows pass through UnscrambleLine.
//
// It keeps the order of the start-up sequence: each picture is handed to the
// caller right after its line is read, before the lines after it are even
// read, and line 2 is converted only after line 16 (line 6 only when L is
// valid). An exception from the picture callback ends the reading at once.
// It does not load pictures, check for the language file's existence, write
// fallback texts or touch the window.
class LanguageFileReader
{
public:
    static constexpr int PictureCount = 3;
    static constexpr int IgnoredLineCount = 10;
    // A full table of 9 languages by 100 rows with captions of 250 bytes and
    // three long picture paths stays under 250 KB; anything beyond 4 MiB is
    // no language file and is refused before a line of it is read.
    static constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

    // Called with 0, 1 or 2 (Image1, Image2, Image3) and the path of a file
    // that exists.
    using PictureCallback = std::function<void(int pictureIndex, const QString &path)>;

    explicit LanguageFileReader(LanguageTable &table) : m_table(table) {}

    // Writes the cells (1..L, 0..R) and nothing else of the table. Raises
    // EInOutError when the file cannot be read, is no regular file or is
    // larger than MaxFileSize, EConvertError when line 2 or 6
    // is no integer, ELanguageFileError when L lies outside 1 to 9 or R
    // outside 0 to 99; in the last two cases no cell has been written.
    LanguageFileSummary read(const QString &path, const PictureCallback &loadPicture = {});

    // The file a picture line names, or an empty text when there is none. A
    // path written with Windows backslashes is tried with slashes too.
    static QString existingPicturePath(const QString &path);

private:
    QByteArray readTransformed(TextLineReader &lines);
    void readRows(TextLineReader &lines, int languageCount, int highestRow);

    LanguageTable &m_table;
    LineScrambler m_scrambler;
    bool m_scrambled = false;
};
