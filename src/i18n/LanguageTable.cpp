#include "LanguageTable.h"

#include "Win1252.h"

namespace {

// Rows 62 to 74, in order.
constexpr const char16_t *kFallbackTexts[] = {
    u"Oeffne COM-Port...",
    u"Kann COM-Port nicht öffnen!",
    u"RTS aktiv! Warten auf Signal ACK",
    u"Timeout während Warten auf Signal ACK!",
    u"Uebertragungsfehler beim Senden von ACK!",
    u"Gerät ist verbunden",
    u"Bitte zuerst COM-Port auswählen!",
    u"Timeout während Warten auf Bestätigung!",
    u"Uebertragungsfehler beim Senden oder Empfangen!",
    u"Timeout während Warten auf Daten!",
    u"Wert muss zwischen 001 und 255 liegen!",
    u"Kontakt mit Gerät verloren!",
    u"Offline Betrieb",
};

static_assert(std::size(kFallbackTexts) ==
              LanguageTable::LastFallbackRow - LanguageTable::FirstFallbackRow + 1);

} // namespace

bool LanguageTable::contains(int column, int row)
{
    return column >= 0 && column < ColumnCount && row >= 0 && row < RowCount;
}

QByteArray LanguageTable::cell(int column, int row) const
{
    if (!contains(column, row))
        return {};
    return m_cells[indexOf(column, row)];
}

void LanguageTable::setCell(int column, int row, const QByteArray &text)
{
    if (contains(column, row))
        m_cells[indexOf(column, row)] = text;
}

void LanguageTable::clear()
{
    m_cells.fill(QByteArray());
}

void LanguageTable::writeFallbackTexts()
{
    int row = FirstFallbackRow;
    for (const char16_t *text : kFallbackTexts)
        setCell(1, row++, Win1252::fromUnicode(QStringView(text)));
}

QString LanguageTable::text(int column, int row) const
{
    if (column == 0)
        return {};
    return Win1252::toUnicode(cell(column, row));
}
