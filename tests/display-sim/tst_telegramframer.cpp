#include "TelegramFramer.h"

#include <QTest>

using Frame = TelegramFramer::Frame;
using Kind = TelegramFramer::Kind;
Q_DECLARE_METATYPE(QList<Frame>)

namespace {

const QByteArray Settings =
    QByteArray::fromHex("1B5A4553314233433050 4F41303132563033 4B324E30444154313031 0D0A");
const QByteArray Brightness = QByteArray::fromHex("1B4854 011B0500FF1627324646 5A6EA0BEC8D2 0D0A");
const QByteArray ReadSettings = QByteArray::fromHex("1B59410D0A");
const QByteArray ReadBrightness = QByteArray::fromHex("1B53740D0A");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QString describe(const QList<Frame> &frames)
{
    QStringList parts;
    for (const Frame &frame : frames)
        parts << QStringLiteral("%1:%2")
                     .arg(int(frame.kind))
                     .arg(QString::fromLatin1(frame.bytes.toHex()));
    return parts.join(QStringLiteral(" | "));
}

} // namespace

class TestTelegramFramer : public QObject
{
    Q_OBJECT

private slots:
    void layouts()
    {
        QCOMPARE(Settings.size(), TelegramFramer::SettingsLength);
        QCOMPARE(Brightness.size(), TelegramFramer::BrightnessLength);
    }

    void frames_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<Frame>>("expected");
        QTest::newRow("settings telegram")
            << Settings << QList<Frame>{{Kind::SettingsTelegram, Settings}};
        QTest::newRow("brightness telegram holding ESC, ENQ, NUL and 0xFF")
            << Brightness << QList<Frame>{{Kind::BrightnessTelegram, Brightness}};
        QTest::newRow("read settings")
            << ReadSettings << QList<Frame>{{Kind::ReadSettingsRequest, ReadSettings}};
        QTest::newRow("read brightness")
            << ReadBrightness << QList<Frame>{{Kind::ReadBrightnessRequest, ReadBrightness}};
        QTest::newRow("two records back to back")
            << ReadBrightness + Settings
            << QList<Frame>{{Kind::ReadBrightnessRequest, ReadBrightness},
                            {Kind::SettingsTelegram, Settings}};
        QTest::newRow("user string")
            << hex("414243") << QList<Frame>{{Kind::Ignored, hex("414243")}};
        QTest::newRow("ESC C is no record")
            << hex("1B4331") << QList<Frame>{{Kind::Ignored, hex("1B4331")}};
        QTest::newRow("text before a telegram")
            << hex("4142") + Settings
            << QList<Frame>{{Kind::Ignored, hex("4142")}, {Kind::SettingsTelegram, Settings}};
        QTest::newRow("doubled ESC")
            << hex("1B") + ReadSettings
            << QList<Frame>{{Kind::Ignored, hex("1B")}, {Kind::ReadSettingsRequest, ReadSettings}};
        QTest::newRow("request with a wrong tail")
            << hex("1B59410D0D") << QList<Frame>{{Kind::Ignored, hex("1B59410D0D")}};
        QTest::newRow("request cut by a new record")
            << hex("1B59") + Brightness
            << QList<Frame>{{Kind::Ignored, hex("1B59")}, {Kind::BrightnessTelegram, Brightness}};
        QTest::newRow("settings header cut by text")
            << hex("1B5A41") << QList<Frame>{{Kind::Ignored, hex("1B5A41")}};
        QTest::newRow("settings telegram cut short")
            << Settings.left(29) << QList<Frame>{{Kind::Incomplete, Settings.left(29)}};
        QTest::newRow("lone ESC") << hex("1B") << QList<Frame>{{Kind::Incomplete, hex("1B")}};
        QTest::newRow("text after a telegram")
            << Settings + hex("0D0A")
            << QList<Frame>{{Kind::SettingsTelegram, Settings}, {Kind::Ignored, hex("0D0A")}};
    }
    void frames()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<Frame>, expected);

        // All at once.
        TelegramFramer whole;
        QList<Frame> got = whole.feed(input, 0);
        got += whole.expire(TelegramFramer::InterByteTimeoutMs);
        QCOMPARE(describe(got), describe(expected));
        QVERIFY(!whole.hasPending());

        // One byte every 37 ms, as a 300 baud line brings them.
        TelegramFramer trickle;
        got.clear();
        qint64 now = 0;
        for (const char c : input) {
            got += trickle.feed(QByteArrayView(&c, 1), now);
            now += 37;
        }
        got += trickle.expire(now + TelegramFramer::InterByteTimeoutMs);
        QCOMPARE(describe(got), describe(expected));
    }

    void quietLineDropsPartialRecord()
    {
        TelegramFramer framer;
        QVERIFY(framer.feed(Settings.left(10), 1000).isEmpty());
        QCOMPARE(framer.deadlineMs(), 1000 + TelegramFramer::InterByteTimeoutMs);
        QVERIFY(framer.expire(1499).isEmpty());
        // The rest arrives too late: the first part is dropped, the rest is no record.
        const QList<Frame> got = framer.feed(Settings.mid(10), 1500);
        QCOMPARE(got, (QList<Frame>{{Kind::Incomplete, Settings.left(10)}}));
        QCOMPARE(framer.expire(2000), (QList<Frame>{{Kind::Ignored, Settings.mid(10)}}));
    }

    void slowButSteadyBytesKeepTheRecord()
    {
        TelegramFramer framer;
        QList<Frame> got;
        for (int i = 0; i < Settings.size(); ++i)
            got += framer.feed(Settings.mid(i, 1), i * (TelegramFramer::InterByteTimeoutMs - 1));
        QCOMPARE(got, (QList<Frame>{{Kind::SettingsTelegram, Settings}}));
    }

    void floodOfTextIsReportedInPieces()
    {
        TelegramFramer framer;
        const QList<Frame> got = framer.feed(QByteArray(200, 'A'), 0);
        QCOMPARE(got.size(), 3);
        for (const Frame &frame : got) {
            QCOMPARE(frame.kind, Kind::Ignored);
            QCOMPARE(frame.bytes.size(), 64);
        }
        QCOMPARE(framer.expire(TelegramFramer::InterByteTimeoutMs).value(0).bytes.size(),
                 200 - 3 * 64);
    }

    void resetForgetsPartialRecord()
    {
        TelegramFramer framer;
        framer.feed(Settings.left(20), 0);
        framer.reset();
        QVERIFY(!framer.hasPending());
        QCOMPARE(framer.feed(ReadSettings, 10),
                 (QList<Frame>{{Kind::ReadSettingsRequest, ReadSettings}}));
    }
};

QTEST_APPLESS_MAIN(TestTelegramFramer)
#include "tst_telegramframer.moc"
