#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// The table of all window texts and messages: 10 columns by 100 rows of
// single-byte (Windows-1252) texts. Column 0 holds nothing, columns 1 to 9 one
// language each, row 0 the language's name. It only stores and converts; the
// language file reader fills it and the window decides which column is shown.
class LanguageTable
{
public:
    static constexpr int ColumnCount = 10;
    static constexpr int RowCount = 100;
    static constexpr int LanguageNameRow = 0;
    static constexpr int MaxLanguages = ColumnCount - 1;
    static constexpr int FirstFallbackRow = 62;
    static constexpr int LastFallbackRow = 74;

    static bool contains(int column, int row);

    // An address outside the table reads as an empty cell.
    QByteArray cell(int column, int row) const;
    // A write outside the table is dropped: there is no cell to hold it.
    void setCell(int column, int row, const QByteArray &text);
    void clear();

    // The German message texts of rows 62 to 74 in column 1, for a run
    // without a language file. Other cells keep what they hold.
    void writeFallbackTexts();

    // The cell as Unicode text; empty for column 0 and outside the table.
    QString text(int column, int row) const;
    // The text of a message row (see MessageRow) in the given language column.
    QString message(int column, int row) const { return text(column, row); }

private:
    static int indexOf(int column, int row) { return row * ColumnCount + column; }

    std::array<QByteArray, ColumnCount * RowCount> m_cells;
};
