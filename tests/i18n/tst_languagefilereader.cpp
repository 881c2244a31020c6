#include "ELanguageFileError.h"
#include "Exception.h"
#include "LanguageFileReader.h"
#include "LanguageTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Scrambles lines the way a language file tool does, with a generator of its
// own: each character's top three bits rotated right by 1 or 2.
class TestEncoder
{
public:
    QByteArray encode(QByteArray line)
    {
        for (char &c : line) {
            m_state = (m_state * 134775813u + 1u) & 0xFFFFFFFFu;
            const bool twoPlaces = m_state & 0x80000000u;
            const uchar code = uchar(c);
            const uchar b2 = (code >> 7) & 1, b1 = (code >> 6) & 1, b0 = (code >> 5) & 1;
            // Right by one: (b2 b1 b0) -> (b0 b2 b1); by two: -> (b1 b0 b2).
            const uchar top =
                twoPlaces ? uchar(b1 << 2 | b0 << 1 | b2) : uchar(b0 << 2 | b2 << 1 | b1);
            c = char(top << 5 | (code & 0x1F));
        }
        return line;
    }

private:
    quint64 m_state = 5938;
};

struct FileLayout
{
    QByteArray modeFlag = "FALSE";
    QByteArray languageCount = "2";
    QByteArray pictures[3];
    QByteArray highestRow = "80";
    QList<QByteArray> ignored = QList<QByteArray>(10, "ignored");
    QList<QByteArray> rows; // all blocks, one after the other
    QByteArray lineEnd = "\r\n";
};

QByteArray buildFile(const FileLayout &layout)
{
    const bool scrambled = layout.modeFlag == "TRUE";
    TestEncoder encoder;
    auto transformed = [&](const QByteArray &line) {
        return scrambled ? encoder.encode(line) : line;
    };
    QList<QByteArray> lines{layout.modeFlag, transformed(layout.languageCount)};
    for (const QByteArray &picture : layout.pictures)
        lines << transformed(picture);
    lines << transformed(layout.highestRow) << layout.ignored;
    for (const QByteArray &row : layout.rows)
        lines << transformed(row);
    QByteArray file;
    for (const QByteArray &line : lines)
        file += line + layout.lineEnd;
    return file;
}

// Row r of language c, with texts that exercise the scrambling: letters,
// 1252 umlauts and the euro sign, a tab, codes from 224 up.
QByteArray rowText(int column, int row)
{
    if (row == 0)
        return column == 1 ? QByteArray("Deutsch")
                           : QByteArray("Fran\xE7"
                                        "ais");
    return "L" + QByteArray::number(column) + " R" + QByteArray::number(row) +
           " Ger\xE4t \x80\t\xFF~";
}

QList<QByteArray> blocks(int languageCount, int highestRow)
{
    QList<QByteArray> rows;
    for (int c = 1; c <= languageCount; ++c) {
        for (int r = 0; r <= highestRow; ++r)
            rows << rowText(c, r);
    }
    return rows;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
}

using PictureCalls = QList<QPair<int, QString>>;

} // namespace

class TestLanguageFileReader : public QObject
{
    Q_OBJECT

private:
    QString languageFile(const FileLayout &layout)
    {
        const QString path = m_dir.filePath(QStringLiteral("Language.mlf"));
        writeFile(path, buildFile(layout));
        return path;
    }

    QTemporaryDir m_dir;

private slots:
    void twoLanguagesOf81Rows_data()
    {
        QTest::addColumn<QByteArray>("modeFlag");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("scrambled");
        QTest::newRow("plain") << QByteArray("FALSE") << QByteArray("\r\n") << false;
        QTest::newRow("scrambled") << QByteArray("TRUE") << QByteArray("\r\n") << true;
        QTest::newRow("scrambled, LF only") << QByteArray("TRUE") << QByteArray("\n") << true;
        QTest::newRow("lower case true") << QByteArray("true") << QByteArray("\r\n") << false;
        QTest::newRow("mixed case True") << QByteArray("True") << QByteArray("\r\n") << false;
        QTest::newRow("TRUE and a blank") << QByteArray("TRUE ") << QByteArray("\r\n") << false;
        QTest::newRow("blank and TRUE") << QByteArray(" TRUE") << QByteArray("\r\n") << false;
        QTest::newRow("empty flag") << QByteArray("") << QByteArray("\r\n") << false;
    }
    void twoLanguagesOf81Rows()
    {
        QFETCH(QByteArray, modeFlag);
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, scrambled);
        FileLayout layout;
        layout.modeFlag = modeFlag;
        layout.lineEnd = lineEnd;
        layout.pictures[0] = "links.bmp";
        layout.pictures[2] = "C:\\Bilder\\\xDC"
                             "ber.jpg";
        layout.rows = blocks(2, 80);
        LanguageTable table;
        const LanguageFileSummary summary = LanguageFileReader(table).read(languageFile(layout));
        QCOMPARE(summary.scrambled, scrambled);
        QCOMPARE(summary.languageCount, 2);
        QCOMPARE(summary.highestRow, 80);
        QCOMPARE(summary.picturePaths[0], QStringLiteral("links.bmp"));
        QCOMPARE(summary.picturePaths[1], QString());
        QCOMPARE(summary.picturePaths[2], QStringLiteral("C:\\Bilder\\Über.jpg"));
        for (int c = 1; c <= 2; ++c) {
            for (int r = 0; r <= 80; ++r)
                QCOMPARE(table.cell(c, r), rowText(c, r));
            QVERIFY(table.cell(c, 81).isEmpty());
        }
        QCOMPARE(table.text(2, 0), QStringLiteral("Français"));
        QCOMPARE(table.message(1, 68), QStringLiteral("L1 R68 Gerät €\tÿ~"));
        QVERIFY(table.cell(3, 0).isEmpty());
        QVERIFY(table.cell(0, 0).isEmpty());
    }

    // Empty lines and the ten ignored lines draw no count: if they did, every
    // later scrambled line would come out wrong.
    void emptyAndIgnoredLinesDrawNothing()
    {
        FileLayout layout;
        layout.modeFlag = "TRUE";
        layout.ignored = {"",   "\xFF\x80garbage", "TRUE", "12", "", QByteArray(300, 'x'),
                          "\t", "\xE4\xF6\xFC",    "9",    "-"};
        layout.rows = blocks(2, 80);
        for (int r : {1, 2, 40, 80, 81})
            layout.rows[r].clear();
        LanguageTable table;
        LanguageFileReader(table).read(languageFile(layout));
        for (int i = 0; i < layout.rows.size(); ++i)
            QCOMPARE(table.cell(1 + i / 81, i % 81), layout.rows[i]);
    }

    void fileEndingEarly_data()
    {
        QTest::addColumn<int>("cut"); // bytes dropped from the end
        QTest::addColumn<int>("wholeRows");
        const FileLayout layout = [] {
            FileLayout l;
            l.rows = blocks(2, 80);
            return l;
        }();
        const int full = int(buildFile(layout).size());
        const int rowBytes = int(rowText(2, 80).size()) + 2;
        QTest::newRow("complete") << 0 << 162;
        QTest::newRow("last CR LF missing") << 2 << 162;
        QTest::newRow("only the LF missing") << 1 << 162;
        QTest::newRow("last row cut") << 5 << 161;
        QTest::newRow("ten rows missing") << 10 * rowBytes << 152;
        QTest::newRow("no rows") << full - int(buildFile(FileLayout{}).size()) << 0;
    }
    void fileEndingEarly()
    {
        QFETCH(int, cut);
        QFETCH(int, wholeRows);
        FileLayout layout;
        layout.rows = blocks(2, 80);
        const QString path = m_dir.filePath(QStringLiteral("short.mlf"));
        const QByteArray file = buildFile(layout);
        writeFile(path, file.left(file.size() - cut));
        LanguageTable table;
        const LanguageFileSummary summary = LanguageFileReader(table).read(path);
        QCOMPARE(summary.languageCount, 2);
        for (int i = 0; i < 162; ++i) {
            const QByteArray cell = table.cell(1 + i / 81, i % 81);
            if (i < wholeRows)
                QCOMPARE(cell, layout.rows[i]);
            else if (i > wholeRows)
                QVERIFY(cell.isEmpty());
        }
    }

    void notAnInteger_data()
    {
        QTest::addColumn<QByteArray>("modeFlag");
        QTest::addColumn<QByteArray>("languageCount");
        QTest::addColumn<QByteArray>("highestRow");
        QTest::addColumn<QString>("message");
        QTest::newRow("line 2 word")
            << QByteArray("FALSE") << QByteArray("zwei") << QByteArray("80")
            << QStringLiteral("'zwei' is not a valid integer value");
        QTest::newRow("line 2 empty") << QByteArray("FALSE") << QByteArray() << QByteArray("80")
                                      << QStringLiteral("'' is not a valid integer value");
        QTest::newRow("line 2 scrambled")
            << QByteArray("TRUE") << QByteArray("2\xE4") << QByteArray("80")
            << QStringLiteral("'2ä' is not a valid integer value");
        QTest::newRow("line 6 word")
            << QByteArray("FALSE") << QByteArray("2") << QByteArray("achtzig")
            << QStringLiteral("'achtzig' is not a valid integer value");
        QTest::newRow("line 6 scrambled")
            << QByteArray("TRUE") << QByteArray("1") << QByteArray("8 0")
            << QStringLiteral("'8 0' is not a valid integer value");
        // L is interpreted first; an L of 0 is refused before line 6 is looked at.
        QTest::newRow("line 6 never read with L = 0")
            << QByteArray("FALSE") << QByteArray("0") << QByteArray("x")
            << QStringLiteral("Line 2 of Language.mlf gives 0 languages; 1 to 9 are supported");
        QTest::newRow("line 2 with a zero byte, shown whole")
            << QByteArray("FALSE")
            << QByteArray("2\x00"
                          "1",
                          3)
            << QByteArray("80") << QStringLiteral("'2\u24001' is not a valid integer value");
        QTest::newRow("line 6 with 0x80, shown as the euro sign")
            << QByteArray("FALSE") << QByteArray("2") << QByteArray("8\x80")
            << QStringLiteral("'8\u20AC' is not a valid integer value");
    }
    void notAnInteger()
    {
        QFETCH(QByteArray, modeFlag);
        QFETCH(QByteArray, languageCount);
        QFETCH(QByteArray, highestRow);
        QFETCH(QString, message);
        FileLayout layout;
        layout.modeFlag = modeFlag;
        layout.languageCount = languageCount;
        layout.highestRow = highestRow;
        layout.rows = blocks(2, 80);
        LanguageTable table;
        try {
            LanguageFileReader(table).read(languageFile(layout));
            QFAIL("no error raised");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), message);
        }
        QVERIFY(table.cell(1, 0).isEmpty());
    }

    void outsideTheTable_data()
    {
        QTest::addColumn<QByteArray>("languageCount");
        QTest::addColumn<QByteArray>("highestRow");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("no language")
            << QByteArray("0") << QByteArray("80") << 2 << 0
            << "Line 2 of Language.mlf gives 0 languages; 1 to 9 are supported";
        QTest::newRow("ten languages")
            << QByteArray("10") << QByteArray("80") << 2 << 10
            << "Line 2 of Language.mlf gives 10 languages; 1 to 9 are supported";
        QTest::newRow("negative L")
            << QByteArray("-1") << QByteArray("80") << 2 << -1
            << "Line 2 of Language.mlf gives -1 languages; 1 to 9 are supported";
        QTest::newRow("row 100")
            << QByteArray("2") << QByteArray("100") << 6 << 100
            << "Line 6 of Language.mlf gives 100 as the highest row; 0 to 99 are supported";
        QTest::newRow("negative R")
            << QByteArray("2") << QByteArray("-1") << 6 << -1
            << "Line 6 of Language.mlf gives -1 as the highest row; 0 to 99 are supported";
        QTest::newRow("huge R")
            << QByteArray("1") << QByteArray("2147483647") << 6 << 2147483647
            << "Line 6 of Language.mlf gives 2147483647 as the highest row; 0 to 99 are supported";
    }
    void outsideTheTable()
    {
        QFETCH(QByteArray, languageCount);
        QFETCH(QByteArray, highestRow);
        QFETCH(int, line);
        QFETCH(int, value);
        QFETCH(QString, message);
        FileLayout layout;
        layout.languageCount = languageCount;
        layout.highestRow = highestRow;
        layout.rows = blocks(9, 99);
        LanguageTable table;
        table.setCell(1, 0, "untouched");
        try {
            LanguageFileReader(table).read(languageFile(layout));
            QFAIL("no error raised");
        } catch (const ELanguageFileError &e) {
            QCOMPARE(e.message(), message);
            QCOMPARE(e.line(), line);
            QCOMPARE(e.value(), value);
        }
        QCOMPARE(table.cell(1, 0), QByteArray("untouched"));
        QVERIFY(table.cell(1, 1).isEmpty());
    }

    void limitsOfTheTable_data()
    {
        QTest::addColumn<int>("languageCount");
        QTest::addColumn<int>("highestRow");
        QTest::newRow("one language, row 0 only") << 1 << 0;
        QTest::newRow("nine languages of 100 rows") << 9 << 99;
        QTest::newRow("R below 80") << 3 << 20;
    }
    void limitsOfTheTable()
    {
        QFETCH(int, languageCount);
        QFETCH(int, highestRow);
        FileLayout layout;
        layout.modeFlag = "TRUE";
        layout.languageCount = QByteArray::number(languageCount);
        layout.highestRow = QByteArray::number(highestRow);
        layout.rows = blocks(languageCount, highestRow);
        // Rows of a further language that the file holds but does not announce.
        layout.rows << blocks(1, highestRow);
        LanguageTable table;
        table.setCell(1, highestRow + 1, "beyond R");
        LanguageFileReader(table).read(languageFile(layout));
        for (int c = 1; c <= languageCount; ++c) {
            QCOMPARE(table.cell(c, 0), rowText(c, 0));
            QCOMPARE(table.cell(c, highestRow), rowText(c, highestRow));
        }
        QVERIFY(table.cell(languageCount + 1, 0).isEmpty());
        if (highestRow < 99)
            QCOMPARE(table.cell(1, highestRow + 1), QByteArray("beyond R"));
    }

    void picturesIndependently_data()
    {
        QTest::addColumn<int>("existing"); // bit i: the file of line 3 + i exists
        for (int mask = 0; mask < 8; ++mask)
            QTest::newRow(qPrintable(QStringLiteral("mask %1").arg(mask))) << mask;
    }
    void picturesIndependently()
    {
        QFETCH(int, existing);
        FileLayout layout;
        layout.modeFlag = "TRUE";
        layout.rows = blocks(2, 80);
        PictureCalls expected;
        for (int i = 0; i < 3; ++i) {
            const QString path =
                m_dir.filePath(QStringLiteral("pic%1-%2.bmp").arg(existing).arg(i));
            if (existing & (1 << i)) {
                writeFile(path, "BM");
                expected << qMakePair(i, path);
            }
            layout.pictures[i] = QFile::encodeName(path);
        }
        PictureCalls calls;
        LanguageTable table;
        LanguageFileReader(table).read(languageFile(layout), [&](int index, const QString &path) {
            calls << qMakePair(index, path);
        });
        QCOMPARE(calls, expected);
        QCOMPARE(table.cell(2, 80), rowText(2, 80));
    }

    // Pictures are loaded before line 2 is converted, and an error from a
    // picture stops the reading before the next line.
    void pictureOrder_data()
    {
        QTest::addColumn<int>("failingPicture"); // -1: none
        QTest::addColumn<QByteArray>("languageCount");
        QTest::addColumn<int>("calls");
        QTest::addColumn<QString>("message");
        QTest::newRow("all loaded, then bad L")
            << -1 << QByteArray("zwei") << 3
            << QStringLiteral("'zwei' is not a valid integer value");
        QTest::newRow("first fails") << 0 << QByteArray("zwei") << 1 << QStringLiteral("broken 0");
        QTest::newRow("second fails") << 1 << QByteArray("2") << 2 << QStringLiteral("broken 1");
        QTest::newRow("third fails") << 2 << QByteArray("2") << 3 << QStringLiteral("broken 2");
    }
    void pictureOrder()
    {
        QFETCH(int, failingPicture);
        QFETCH(QByteArray, languageCount);
        QFETCH(int, calls);
        QFETCH(QString, message);
        FileLayout layout;
        layout.languageCount = languageCount;
        layout.rows = blocks(2, 80);
        for (int i = 0; i < 3; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("order%1.jpg").arg(i));
            writeFile(path, "x");
            layout.pictures[i] = QFile::encodeName(path);
        }
        int made = 0;
        LanguageTable table;
        try {
            LanguageFileReader(table).read(languageFile(layout), [&](int index, const QString &) {
                QCOMPARE(index, made);
                ++made;
                if (index == failingPicture)
                    throw Exception(QStringLiteral("broken %1").arg(index));
            });
            QFAIL("no error raised");
        } catch (const Exception &e) {
            QCOMPARE(e.message(), message);
        }
        QCOMPARE(made, calls);
        QVERIFY(table.cell(1, 0).isEmpty());
    }

    void picturePaths_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("found"); // relative to the working directory
        QTest::newRow("relative") << QByteArray("bilder/logo.ico")
                                  << QStringLiteral("bilder/logo.ico");
#ifdef Q_OS_WIN
        // A Windows path as Windows reads it.
        QTest::newRow("backslashes")
            << QByteArray("bilder\\logo.ico") << QStringLiteral("bilder\\logo.ico");
#else
        QTest::newRow("backslashes")
            << QByteArray("bilder\\logo.ico") << QStringLiteral("bilder/logo.ico");
#endif
        QTest::newRow("umlaut in 1252")
            << QByteArray("bilder/\xFC.wmf") << QStringLiteral("bilder/ü.wmf");
        QTest::newRow("missing") << QByteArray("bilder/none.ico") << QString();
        QTest::newRow("a folder") << QByteArray("bilder") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
    }
    void picturePaths()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, found);
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        QDir().mkpath(QStringLiteral("bilder"));
        writeFile(QStringLiteral("bilder/logo.ico"), "x");
        writeFile(QStringLiteral("bilder/ü.wmf"), "x");
        FileLayout layout;
        layout.pictures[1] = line;
        layout.rows = blocks(2, 80);
        PictureCalls calls;
        LanguageTable table;
        LanguageFileReader(table).read(languageFile(layout), [&](int index, const QString &path) {
            calls << qMakePair(index, path);
        });
        QDir::setCurrent(previous);
        QCOMPARE(calls, found.isEmpty() ? PictureCalls{} : PictureCalls{qMakePair(1, found)});
    }

    // Lines after the last row are never read, but count towards the limit:
    // no real language file comes near it.
    void sizeLimit_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("read");
        QTest::newRow("at the limit") << LanguageFileReader::MaxFileSize << true;
        QTest::newRow("one byte over") << LanguageFileReader::MaxFileSize + 1 << false;
    }
    void sizeLimit()
    {
        QFETCH(qint64, size);
        QFETCH(bool, read);
        FileLayout layout;
        // A picture that exists, so it would be handed over.
        layout.pictures[0] = QFile::encodeName(m_dir.filePath(QStringLiteral("Language.mlf")));
        layout.rows = blocks(2, 80);
        const QString path = languageFile(layout);
        QFile file(path);
        QVERIFY(file.resize(size));
        LanguageTable table;
        int pictureCalls = 0;
        try {
            LanguageFileReader(table).read(path, [&](int, const QString &) { ++pictureCalls; });
            QVERIFY(read);
        } catch (const EInOutError &e) {
            QVERIFY(!read);
            QCOMPARE(e.message(),
                     QStringLiteral("File too large: '%1' has more than 4194304 bytes").arg(path));
        }
        QCOMPARE(pictureCalls, read ? 1 : 0);
        QCOMPARE(table.cell(2, 80), read ? rowText(2, 80) : QByteArray());
    }

    void missingFile()
    {
        LanguageTable table;
        try {
            LanguageFileReader(table).read(m_dir.filePath(QStringLiteral("none.mlf")));
            QFAIL("no error raised");
        } catch (const EInOutError &e) {
            QCOMPARE(e.message(), QStringLiteral("File not found"));
        }
    }

    // The language file the package and the Windows installer ship: both
    // languages complete, and its texts in Windows-1252 (a file saved as
    // UTF-8 would show every umlaut as two characters).
    void shippedFile_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("German name") << 1 << 0 << QByteArray("Deutsch");
        QTest::newRow("German row 6") << 1 << 6 << QByteArray("Sprache w\xE4hlen");
        QTest::newRow("German row 79") << 1 << 79
                                       << QByteArray("Das Escape-Zeichen kann auch durch Dr\xFC"
                                                     "cken der Esc-Taste eingegeben werden.");
        QTest::newRow("German row 80") << 1 << 80 << QByteArray("Senden");
        QTest::newRow("English name") << 2 << 0 << QByteArray("English");
        QTest::newRow("English row 79")
            << 2 << 79 << QByteArray("The escape character can also be entered with the Esc key.");
        QTest::newRow("English row 80") << 2 << 80 << QByteArray("Send");
        // Rows after the window's own: the detail line and the device list.
        QTest::newRow("German row 82")
            << 1 << 82 << QByteArray("Einstellungen gesendet und vom Ger\xE4t best\xE4tigt, %1");
        QTest::newRow("English row 97")
            << 2 << 97 << QByteArray("COM %1 now reaches %2 (written to %3), %4");
        QTest::newRow("German row 98") << 1 << 98 << QByteArray("Leitungsmonitor...");
    }
    void shippedFile()
    {
        QFETCH(int, column);
        QFETCH(int, row);
        QFETCH(QByteArray, text);
        LanguageTable table;
        const LanguageFileSummary summary = LanguageFileReader(table).read(
            QStringLiteral(PANTRIX_SOURCE_DIR "/examples/Language.mlf"));
        QCOMPARE(summary.scrambled, false);
        QCOMPARE(summary.languageCount, 2);
        QCOMPARE(summary.highestRow, 98);
        QCOMPARE(table.cell(column, row), text);
    }
};

QTEST_APPLESS_MAIN(TestLanguageFileReader)
#include "tst_languagefilereader.moc"
