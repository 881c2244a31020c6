#include "LineScrambler.h"

#include <QTest>

class TestLineScrambler : public QObject
{
    Q_OBJECT

private slots:
    // States and counts worked out by hand from S = S * 134775813 + 1 mod 2^32.
    void generatorSequence()
    {
        const quint32 states[] = {1434860539u, 2590283752u, 3783956361u, 3793721774u,
                                  4081825895u, 3334977028u, 2883624469u, 3314412138u,
                                  2884910099u, 3277256800u, 1808030177u, 808830310u};
        const int counts[] = {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1};
        LineScrambler scrambler;
        QCOMPARE(scrambler.state(), 5938u);
        for (std::size_t i = 0; i < std::size(states); ++i) {
            QCOMPARE(scrambler.nextRotationCount(), counts[i]);
            QCOMPARE(scrambler.state(), states[i]);
        }
        scrambler.seed();
        QCOMPARE(scrambler.state(), 5938u);
    }

    void drawScalesTheState()
    {
        LineScrambler scrambler;
        // floor(1434860539 * 1000 / 2^32) and floor(2590283752 * 7 / 2^32).
        QCOMPARE(scrambler.draw(1000), 334u);
        QCOMPARE(scrambler.draw(7), 4u);
        QCOMPARE(scrambler.draw(1), 0u);
    }

    void rotation_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("left");
        QTest::newRow("a by 1") << 97 << 1 << 193;
        QTest::newRow("a by 2") << 97 << 2 << 161;
        QTest::newRow("100 by 1") << 0x80 << 1 << 0x20;
        QTest::newRow("100 by 2") << 0x80 << 2 << 0x40;
        QTest::newRow("001 by 1") << 0x3F << 1 << 0x5F;
        QTest::newRow("101 by 1") << 0xA5 << 1 << 0x65;
    }
    void rotation()
    {
        QFETCH(int, code);
        QFETCH(int, count);
        QFETCH(int, left);
        QCOMPARE(int(LineScrambler::rotateTopBitsLeft(uchar(code), count)), left);
        QCOMPARE(int(LineScrambler::rotateTopBitsRight(uchar(left), count)), code);
    }

    void controlAndTopCodesStay()
    {
        for (int count = 1; count <= 2; ++count) {
            for (int code = 0; code < 256; ++code) {
                if (code >= 32 && code < 224)
                    continue;
                QCOMPARE(int(LineScrambler::rotateTopBitsLeft(uchar(code), count)), code);
                QCOMPARE(int(LineScrambler::rotateTopBitsRight(uchar(code), count)), code);
            }
        }
    }

    void unscrambleUsesOneCountPerCharacter()
    {
        // The first three counts are 1, 2, 2.
        QByteArray line("aaa");
        LineScrambler scrambler;
        scrambler.UnscrambleLine(line);
        QCOMPARE(line, QByteArray("\xC1\xA1\xA1"));
        QCOMPARE(scrambler.state(), 3783956361u);
    }

    void emptyLineDrawsNothing()
    {
        LineScrambler scrambler;
        QByteArray empty;
        scrambler.UnscrambleLine(empty);
        scrambler.scrambleLine(empty);
        QCOMPARE(scrambler.state(), 5938u);
        QByteArray line("a");
        scrambler.UnscrambleLine(line);
        QCOMPARE(line, QByteArray("\xC1"));
    }

    void scrambleIsTheInverse()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QByteArray line = all;
        LineScrambler encoder;
        encoder.scrambleLine(line);
        QVERIFY(line != all);
        LineScrambler decoder;
        decoder.UnscrambleLine(line);
        QCOMPARE(line, all);
        QCOMPARE(decoder.state(), encoder.state());
    }
};

QTEST_APPLESS_MAIN(TestLineScrambler)
#include "tst_linescrambler.moc"
