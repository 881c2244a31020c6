#include "Win1252.h"

#include <QTest>

class TestWin1252 : public QObject
{
    Q_OBJECT

private slots:
    void decodesBytes_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("codePoint");
        QTest::newRow("NUL") << 0x00 << 0x0000;
        QTest::newRow("letter") << 0x41 << 0x0041;
        QTest::newRow("DEL") << 0x7F << 0x007F;
        QTest::newRow("euro") << 0x80 << 0x20AC;
        QTest::newRow("undefined 81") << 0x81 << 0x0081;
        QTest::newRow("low quote") << 0x82 << 0x201A;
        QTest::newRow("ellipsis") << 0x85 << 0x2026;
        QTest::newRow("S caron") << 0x8A << 0x0160;
        QTest::newRow("undefined 8D") << 0x8D << 0x008D;
        QTest::newRow("Z caron") << 0x8E << 0x017D;
        QTest::newRow("undefined 8F") << 0x8F << 0x008F;
        QTest::newRow("undefined 90") << 0x90 << 0x0090;
        QTest::newRow("en dash") << 0x96 << 0x2013;
        QTest::newRow("trade mark") << 0x99 << 0x2122;
        QTest::newRow("undefined 9D") << 0x9D << 0x009D;
        QTest::newRow("Y diaeresis") << 0x9F << 0x0178;
        QTest::newRow("no-break space") << 0xA0 << 0x00A0;
        QTest::newRow("a umlaut") << 0xE4 << 0x00E4;
        QTest::newRow("sharp s") << 0xDF << 0x00DF;
        QTest::newRow("y diaeresis") << 0xFF << 0x00FF;
    }
    void decodesBytes()
    {
        QFETCH(int, byte);
        QFETCH(int, codePoint);
        QCOMPARE(int(Win1252::toUnicode(uchar(byte))), codePoint);
        const char single = char(byte);
        QCOMPARE(Win1252::toUnicode(QByteArrayView(&single, 1)), QString(QChar(codePoint)));
    }

    void everyByteSurvivesARoundTrip()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = Win1252::toUnicode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(Win1252::fromUnicode(text), all);
    }

    void encodesText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("COM-Port") << QByteArray("COM-Port");
        QTest::newRow("umlauts") << QStringLiteral("Gerät öffnen Übung ß")
                                 << QByteArray("Ger\xE4t \xF6"
                                               "ffnen \xDC"
                                               "bung \xDF");
        QTest::newRow("euro") << QStringLiteral("5 €") << QByteArray("5 \x80");
        QTest::newRow("quotes and dash") << QString::fromUtf16(u"\u201Eja\u201C \u2013 \u2122")
                                         << QByteArray("\x84ja\x93 \x96 \x99");
        QTest::newRow("undefined C1 kept") << QString(QChar(0x9D)) << QByteArray("\x9D");
        QTest::newRow("defined C1 position") << QString(QChar(0x80)) << QByteArray("?");
        QTest::newRow("outside 1252") << QStringLiteral("\u0100\u4E2D") << QByteArray("??");
        QTest::newRow("astral is one") << QString::fromUtf16(u"a\U0001F600b") << QByteArray("a?b");
        QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + u'x' << QByteArray("?x");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void encodesText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(Win1252::fromUnicode(text), bytes);
    }
};

QTEST_APPLESS_MAIN(TestWin1252)
#include "tst_win1252.moc"
