#include "LanguageTable.h"
#include "MessageRow.h"

#include <QTest>

class TestLanguageTable : public QObject
{
    Q_OBJECT

private slots:
    void fallbackTexts_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("text");
        QTest::newRow("62") << 62 << QStringLiteral("Oeffne COM-Port...");
        QTest::newRow("63") << 63 << QStringLiteral("Kann COM-Port nicht öffnen!");
        QTest::newRow("64") << 64 << QStringLiteral("RTS aktiv! Warten auf Signal ACK");
        QTest::newRow("65") << 65 << QStringLiteral("Timeout während Warten auf Signal ACK!");
        QTest::newRow("66") << 66 << QStringLiteral("Uebertragungsfehler beim Senden von ACK!");
        QTest::newRow("67") << 67 << QStringLiteral("Gerät ist verbunden");
        QTest::newRow("68") << 68 << QStringLiteral("Bitte zuerst COM-Port auswählen!");
        QTest::newRow("69") << 69 << QStringLiteral("Timeout während Warten auf Bestätigung!");
        QTest::newRow("70") << 70
                            << QStringLiteral("Uebertragungsfehler beim Senden oder Empfangen!");
        QTest::newRow("71") << 71 << QStringLiteral("Timeout während Warten auf Daten!");
        QTest::newRow("72") << 72 << QStringLiteral("Wert muss zwischen 001 und 255 liegen!");
        QTest::newRow("73") << 73 << QStringLiteral("Kontakt mit Gerät verloren!");
        QTest::newRow("74") << 74 << QStringLiteral("Offline Betrieb");
    }
    void fallbackTexts()
    {
        QFETCH(int, row);
        QFETCH(QString, text);
        LanguageTable table;
        table.writeFallbackTexts();
        QCOMPARE(table.message(1, row), text);
        // Stored as single bytes, not UTF-8.
        QCOMPARE(table.cell(1, row).size(), text.size());
        QVERIFY(table.message(2, row).isEmpty());
    }

    void fallbackTextsTouchNothingElse()
    {
        LanguageTable table;
        table.setCell(1, 0, "Deutsch");
        table.setCell(1, 61, "keep");
        table.setCell(2, 68, "Zweite");
        table.writeFallbackTexts();
        QCOMPARE(table.cell(1, 0), QByteArray("Deutsch"));
        QCOMPARE(table.cell(1, 61), QByteArray("keep"));
        QCOMPARE(table.cell(2, 68), QByteArray("Zweite"));
        QVERIFY(table.cell(1, 75).isEmpty());
        QVERIFY(table.cell(1, MessageRow::BadUserStringEscape).isEmpty());
        QCOMPARE(table.cell(1, MessageRow::SelectPortFirst),
                 QByteArray("Bitte zuerst COM-Port ausw\xE4hlen!"));
    }

    void cellsAreIndependent()
    {
        LanguageTable table;
        for (int column = 0; column < LanguageTable::ColumnCount; ++column) {
            for (int row = 0; row < LanguageTable::RowCount; ++row)
                table.setCell(column, row, QByteArray::number(column * 1000 + row));
        }
        for (int column = 0; column < LanguageTable::ColumnCount; ++column) {
            for (int row = 0; row < LanguageTable::RowCount; ++row)
                QCOMPARE(table.cell(column, row), QByteArray::number(column * 1000 + row));
        }
        table.clear();
        QVERIFY(table.cell(9, 99).isEmpty());
        QVERIFY(table.cell(1, 0).isEmpty());
    }

    void outsideTheTable_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::newRow("column 10") << 10 << 0;
        QTest::newRow("row 100") << 1 << 100;
        QTest::newRow("column -1") << -1 << 1;
        QTest::newRow("row -1") << 1 << -1;
    }
    void outsideTheTable()
    {
        QFETCH(int, column);
        QFETCH(int, row);
        LanguageTable table;
        table.setCell(column, row, "lost");
        QVERIFY(table.cell(column, row).isEmpty());
        QVERIFY(table.message(column, row).isEmpty());
        // A write that wrapped into a neighbouring cell would show up here.
        for (int c = 0; c < LanguageTable::ColumnCount; ++c) {
            for (int r = 0; r < LanguageTable::RowCount; ++r)
                QVERIFY(table.cell(c, r).isEmpty());
        }
    }

    void columnZeroShowsNoText()
    {
        LanguageTable table;
        table.setCell(0, 68, "hidden");
        QVERIFY(table.message(0, 68).isEmpty());
    }

    void textsAreWindows1252()
    {
        LanguageTable table;
        table.setCell(3, 10,
                      "Preis: 5 \x80, Gr\xF6\xDF"
                      "e \x84"
                      "A\x93");
        QCOMPARE(table.text(3, 10), QString::fromUtf16(u"Preis: 5 €, Größe „A“"));
    }
};

QTEST_APPLESS_MAIN(TestLanguageTable)
#include "tst_languagetable.moc"
