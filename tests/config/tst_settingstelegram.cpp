#include "Exception.h"
#include "SettingsControls.h"
#include "SettingsTelegram.h"

#include <QTest>

// Settings page stand-in with the item counts of the real page, clamping as
// its radio groups do, and a log of the order in which values are set.
class FakeSettings : public SettingsControls
{
public:
    int interface = 0, baud = 0, parity = 0, protocol = 0, special = -1, decimalPoint = -1,
        negative = -1, dimming = 0;
    QString addr = "001", leading = "00", time = "00";
    bool blank = false;
    QStringList log;

    static int clamp(int index, int count) { return std::clamp(index, -1, count - 1); }

    int interfaceIndex() const override { return interface; }
    int baudRateIndex() const override { return baud; }
    int parityIndex() const override { return parity; }
    int protocolIndex() const override { return protocol; }
    int specialFunctionIndex() const override { return special; }
    int decimalPointIndex() const override { return decimalPoint; }
    int negativeValuesIndex() const override { return negative; }
    int dimmingIndex() const override { return dimming; }
    QString address() const override { return addr; }
    QString leadingBlanks() const override { return leading; }
    QString timeout() const override { return time; }
    bool blankOnTimeout() const override { return blank; }

    void setInterfaceIndex(int i) override
    {
        log << "S";
        interface = clamp(i, 2);
    }
    void setBaudRateIndex(int i) override
    {
        log << "B";
        baud = clamp(i, 5);
    }
    void setParityIndex(int i) override
    {
        log << "C";
        parity = clamp(i, 6);
    }
    void setSpecialFunctionIndex(int i) override
    {
        log << "F";
        special = clamp(i, 4);
    }
    void setProtocolIndex(int i) override
    {
        log << "P";
        protocol = clamp(i, 14);
    }
    void setAddress(const QString &d) override
    {
        log << "A";
        addr = d;
    }
    void setLeadingBlanks(const QString &d) override
    {
        log << "V";
        leading = d;
    }
    void setDecimalPointIndex(int i) override
    {
        log << "K";
        decimalPoint = clamp(i, 6);
    }
    void setNegativeValuesIndex(int i) override
    {
        log << "N";
        negative = clamp(i, 2);
    }
    void setDimmingIndex(int i) override
    {
        log << "D";
        dimming = i;
    }
    void clearBlankOnTimeout() override
    {
        log << "b0";
        blank = false;
    }
    void setBlankOnTimeout() override
    {
        log << "b1";
        blank = true;
    }
    void setTimeout(const QString &d) override
    {
        log << "T";
        time = d;
    }
};

static SettingsTelegram::Bytes fromHex(const char *hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    SettingsTelegram::Bytes b{};
    std::copy(raw.begin(), raw.begin() + std::min<qsizetype>(raw.size(), 30), b.begin());
    return b;
}

static QByteArray toHex(const SettingsTelegram::Bytes &b)
{
    return QByteArray(reinterpret_cast<const char *>(b.data()), int(b.size())).toHex(' ').toUpper();
}

// A valid record of the layout defaults.
static const char *const Layout = "1B5A45"
                                  "5330"
                                  "4230"
                                  "4330"
                                  "5030"
                                  "41303031"
                                  "563030"
                                  "4B30"
                                  "4E30"
                                  "4446"
                                  "54303030"
                                  "0D0A";

class TestSettingsTelegram : public QObject
{
    Q_OBJECT

private slots:
    void assemblesTheWorkedExample()
    {
        FakeSettings s;
        s.interface = 1;
        s.baud = 3;
        s.parity = 0;
        s.protocol = 3;
        s.special = 2;
        s.addr = "012";
        s.leading = "03";
        s.decimalPoint = 2;
        s.negative = 0;
        s.dimming = 5;
        s.time = "10";
        s.blank = true;
        QCOMPARE(toHex(SettingsTelegram::assemble(s)),
                 QByteArray("1B 5A 45 53 31 42 33 43 30 50 4F 41 30 31 32 56 30 33 4B 32 4E 30 44 "
                            "41 54 31 30 31 0D 0A"));
    }

    void unselectedGroupsAssembleBelowZero()
    {
        FakeSettings s; // decimal point, negative values and special function unselected
        s.protocol = 5;
        const auto b = SettingsTelegram::assemble(s);
        QCOMPARE(b[19], std::uint8_t('/'));
        QCOMPARE(b[21], std::uint8_t('/'));
        QCOMPARE(b[10], std::uint8_t(0x30 + 5 - 14));
    }

    void dimmingWithoutCharacterSendsFullBrightness_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<char>("expected");
        QTest::newRow("item 0") << 0 << 'F';
        QTest::newRow("item 6") << 6 << '9';
        QTest::newRow("item 15") << 15 << '0';
        QTest::newRow("item 16") << 16 << 'Z';
        QTest::newRow("empty item 17") << 17 << 'F';
        QTest::newRow("typed text") << -1 << 'F';
    }
    void dimmingWithoutCharacterSendsFullBrightness()
    {
        QFETCH(int, index);
        QFETCH(char, expected);
        FakeSettings s;
        s.dimming = index;
        QCOMPARE(char(SettingsTelegram::assemble(s)[23]), expected);
    }

    void shortDigitFieldsArePaddedInFront()
    {
        FakeSettings s;
        s.addr = "7";
        s.leading = "";
        s.time = "5";
        const auto b = SettingsTelegram::assemble(s);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&b[12]), 3), QByteArray("007"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&b[16]), 2), QByteArray("00"));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&b[25]), 2), QByteArray("05"));
    }

    void packedProtocolCharacter_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("special");
        QTest::addColumn<int>("protocol");
        QTest::newRow("0x30") << 0x30 << 0 << 0;
        QTest::newRow("0x3D =") << 0x3D << 0 << 13;
        QTest::newRow("0x3E >") << 0x3E << 1 << 0;
        QTest::newRow("0x4B K") << 0x4B << 1 << 13;
        QTest::newRow("0x4C L") << 0x4C << 2 << 0;
        QTest::newRow("0x4F O") << 0x4F << 2 << 3;
        QTest::newRow("0x5A Z") << 0x5A << 3 << 0;
        QTest::newRow("0x67 g") << 0x67 << 3 << 13;
        QTest::newRow("0x68 h clamps") << 0x68 << 3 << 13;
        QTest::newRow("0xFF clamps") << 0xFF << 3 << 13;
        QTest::newRow("0x2F below") << 0x2F << 0 << -1;
        QTest::newRow("0x00") << 0x00 << 0 << -1;
    }
    void packedProtocolCharacter()
    {
        QFETCH(int, byte);
        QFETCH(int, special);
        QFETCH(int, protocol);
        auto r = fromHex(Layout);
        r[10] = std::uint8_t(byte);
        FakeSettings s;
        SettingsTelegram::spread(r, s);
        QCOMPARE(s.special, special);
        QCOMPARE(s.protocol, protocol);
    }

    void interfaceByteClamps_data()
    {
        QTest::addColumn<int>("byte");
        QTest::addColumn<int>("index");
        QTest::newRow("0") << int('0') << 0;
        QTest::newRow("1") << int('1') << 1;
        QTest::newRow("7 clamps to last") << int('7') << 1;
        QTest::newRow("0xFF clamps to last") << 0xFF << 1;
        QTest::newRow("below 0 selects none") << int('/') << -1;
        QTest::newRow("zero byte selects none") << 0 << -1;
    }
    void interfaceByteClamps()
    {
        QFETCH(int, byte);
        QFETCH(int, index);
        auto r = fromHex(Layout);
        r[4] = std::uint8_t(byte);
        FakeSettings s;
        s.interface = 0;
        SettingsTelegram::spread(r, s);
        QCOMPARE(s.interface, index);
    }

    void dimmingTable_data()
    {
        QTest::addColumn<char>("character");
        QTest::addColumn<int>("item");
        QTest::newRow("F") << 'F' << 0;
        QTest::newRow("E") << 'E' << 1;
        QTest::newRow("A") << 'A' << 5;
        QTest::newRow("9") << '9' << 6;
        QTest::newRow("5") << '5' << 10;
        QTest::newRow("1") << '1' << 14;
        QTest::newRow("0") << '0' << 15;
        QTest::newRow("Z") << 'Z' << 16;
        QTest::newRow("G keeps") << 'G' << 3;
        QTest::newRow("f keeps") << 'f' << 3;
    }
    void dimmingTable()
    {
        QFETCH(char, character);
        QFETCH(int, item);
        auto r = fromHex(Layout);
        r[23] = std::uint8_t(character);
        FakeSettings s;
        s.dimming = 3;
        SettingsTelegram::spread(r, s);
        QCOMPARE(s.dimming, item);
    }

    void nonDigitStopsSpreadingWhereItStands_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<char>("character");
        QTest::addColumn<QStringList>("stepsBefore");
        QTest::newRow("baud rate") << 6 << 'x' << QStringList{"S"};
        QTest::newRow("parity") << 8 << ' ' << QStringList{"S", "B"};
        QTest::newRow("decimal point /")
            << 19 << '/' << QStringList{"S", "B", "C", "F", "P", "A", "V"};
        QTest::newRow("negative values")
            << 21 << 'A' << QStringList{"S", "B", "C", "F", "P", "A", "V", "K"};
        QTest::newRow("euro sign") << 6 << '\x80' << QStringList{"S"};
    }
    void nonDigitStopsSpreadingWhereItStands()
    {
        QFETCH(int, offset);
        QFETCH(char, character);
        QFETCH(QStringList, stepsBefore);
        auto r = fromHex(Layout);
        r[offset] = std::uint8_t(character);
        FakeSettings s;
        try {
            SettingsTelegram::spread(r, s);
            QFAIL("spreading a non-digit succeeded");
        } catch (const EConvertError &e) {
            // The byte shows as the window's 8-bit character set has it.
            const QString shown =
                character == '\x80' ? QStringLiteral("€") : QString(QLatin1Char(character));
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid integer value").arg(shown));
        }
        QCOMPARE(s.log, stepsBefore);
    }

    void spreadsInOrder()
    {
        FakeSettings s;
        SettingsTelegram::spread(fromHex(Layout), s);
        QCOMPARE(s.log, (QStringList{"S", "B", "C", "F", "P", "A", "V", "K", "N", "D", "b0", "T"}));
        auto r = fromHex(Layout);
        r[27] = '1';
        s.log.clear();
        SettingsTelegram::spread(r, s);
        QCOMPARE(s.log,
                 (QStringList{"S", "B", "C", "F", "P", "A", "V", "K", "N", "D", "b0", "b1", "T"}));
    }

    void zeroByteEndsADigitField()
    {
        auto r = fromHex(Layout);
        r[12] = '4';
        r[13] = 0;
        r[14] = '9';
        r[17] = 0;
        r[25] = 0;
        FakeSettings s;
        SettingsTelegram::spread(r, s);
        QCOMPARE(s.addr, QStringLiteral("4"));
        QCOMPARE(s.leading, QStringLiteral("0"));
        QCOMPARE(s.time, QString());
    }

    void spreadThenAssembleReproducesTheValues_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("layout") << QByteArray(Layout);
        QTest::newRow("worked example") << QByteArray("1B5A4553314233433050"
                                                      "4F413031325630334B32"
                                                      "4E30444154313031"
                                                      "0D0A");
        QTest::newRow("every last item") << QByteArray("1B5A4553314234433550"
                                                       "67413939395639394B35"
                                                       "4E31445A543939310D0A");
        QTest::newRow("zoma with function 1") << QByteArray("1B5A4553304230433250"
                                                            "44413132335630314B30"
                                                            "4E31443754303530"
                                                            "0D0A");
    }
    void spreadThenAssembleReproducesTheValues()
    {
        QFETCH(QByteArray, hex);
        const auto record = fromHex(hex.constData());
        FakeSettings s;
        SettingsTelegram::spread(record, s);
        const auto again = SettingsTelegram::assemble(s);
        QCOMPARE(toHex(again), toHex(record));
    }

    void headerAndTagsAreNotExamined()
    {
        auto r = fromHex(Layout);
        for (int offset : {0, 1, 2, 3, 5, 7, 9, 11, 15, 18, 20, 22, 24, 28, 29})
            r[offset] = 'x';
        FakeSettings s;
        SettingsTelegram::spread(r, s);
        QCOMPARE(toHex(SettingsTelegram::assemble(s)), toHex(fromHex(Layout)));
    }
};

QTEST_APPLESS_MAIN(TestSettingsTelegram)
#include "tst_settingstelegram.moc"
