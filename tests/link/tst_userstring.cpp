#include "UserString.h"

#include <QTest>

class TestUserString : public QObject
{
    Q_OBJECT

private slots:
    void expand_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plain") << QByteArray("ABC") << true << QByteArray("ABC");
        QTest::newRow("escape then text") << QByteArray("#027C1") << true
                                          << QByteArray("\x1b"
                                                        "C1");
        QTest::newRow("fourth digit is text") << QByteArray("#0271") << true
                                              << QByteArray("\x1b"
                                                            "1");
        QTest::newRow("300 wraps") << QByteArray("#300") << true << QByteArray(",");
        QTest::newRow("zero byte") << QByteArray("#000") << true << QByteArray(1, '\0');
        QTest::newRow("255") << QByteArray("#255") << true << QByteArray("\xff");
        QTest::newRow("256 wraps to zero") << QByteArray("#256") << true << QByteArray(1, '\0');
        QTest::newRow("999") << QByteArray("#999") << true << QByteArray("\xe7");
        QTest::newRow("literal hash") << QByteArray("a#035b") << true << QByteArray("a#b");
        QTest::newRow("two escapes") << QByteArray("#027#027C") << true
                                     << QByteArray("\x1b\x1b"
                                                   "C");
        QTest::newRow("high byte kept") << QByteArray("\xe4") << true << QByteArray("\xe4");
        QTest::newRow("empty") << QByteArray() << true << QByteArray();
        QTest::newRow("two digits at the end") << QByteArray("A#12") << false << QByteArray();
        QTest::newRow("hash at the end") << QByteArray("A#") << false << QByteArray();
        QTest::newRow("letter among digits") << QByteArray("#2x5") << false << QByteArray();
        QTest::newRow("later bad escape") << QByteArray("#027#1") << false << QByteArray();
        QTest::newRow("sign is no digit") << QByteArray("#-12") << false << QByteArray();
    }
    void expand()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        const std::optional<QByteArray> result = UserString::expand(text);
        QCOMPARE(result.has_value(), valid);
        if (valid)
            QCOMPARE(*result, bytes);
    }
};

QTEST_APPLESS_MAIN(TestUserString)
#include "tst_userstring.moc"
