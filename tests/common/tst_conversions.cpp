#include "Conversions.h"
#include "Exception.h"

#include <QTest>

class TestConversions : public QObject
{
    Q_OBJECT

private slots:
    void integers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("three") << "3" << true << 3;
        QTest::newRow("minus one") << "-1" << true << -1;
        QTest::newRow("plus sign") << "+16" << true << 16;
        QTest::newRow("leading zeros") << "007" << true << 7;
        QTest::newRow("largest") << "2147483647" << true << 2147483647;
        QTest::newRow("smallest") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("too large") << "2147483648" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("sign only") << "-" << false << 0;
        QTest::newRow("letter") << "/" << false << 0;
        QTest::newRow("trailing blank") << "3 " << false << 0;
        QTest::newRow("word") << "TRUE" << false << 0;
    }
    void integers()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        try {
            const int got = Conversions::strToInt(text);
            QVERIFY2(valid, "accepted an invalid integer");
            QCOMPARE(got, value);
        } catch (const EConvertError &e) {
            QVERIFY2(!valid, "rejected a valid integer");
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }

    void booleans_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("value");
        QTest::newRow("TRUE") << "TRUE" << true << true;
        QTest::newRow("true") << "true" << true << true;
        QTest::newRow("True") << "True" << true << true;
        QTest::newRow("FALSE") << "FALSE" << true << false;
        QTest::newRow("fAlSe") << "fAlSe" << true << false;
        QTest::newRow("1") << "1" << true << true;
        QTest::newRow("0") << "0" << true << false;
        QTest::newRow("-5") << "-5" << true << true;
        QTest::newRow("0.5") << "0.5" << true << true;
        QTest::newRow("empty") << "" << false << false;
        QTest::newRow("yes") << "yes" << false << false;
        QTest::newRow("true blank") << "true " << false << false;
    }
    void booleans()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, value);
        try {
            const bool got = Conversions::strToBool(text);
            QVERIFY2(valid, "accepted an invalid boolean");
            QCOMPARE(got, value);
        } catch (const EConvertError &e) {
            QVERIFY2(!valid, "rejected a valid boolean");
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid boolean value").arg(text));
        }
    }
};

QTEST_APPLESS_MAIN(TestConversions)
#include "tst_conversions.moc"
