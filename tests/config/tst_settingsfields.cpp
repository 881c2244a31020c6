#include "Exception.h"
#include "SettingsFields.h"

#include <QTest>

namespace {

SettingsTelegram::Bytes bytesOf(const QByteArray &hex)
{
    const QByteArray raw = QByteArray::fromHex(hex);
    SettingsTelegram::Bytes bytes{};
    std::copy_n(raw.begin(), std::min<qsizetype>(raw.size(), bytes.size()), bytes.begin());
    return bytes;
}

// RS 232, 9600, 8-bit none, "Data <CR>" with function 2, address 012, leading
// 03, comma at position 2, negatives shown, dimming A, timeout 10, blank.
const QByteArray Example = "1B5A4553314233433050 4F41303132563033 4B324E304441543130310D0A";

} // namespace

class TestSettingsFields : public QObject
{
    Q_OBJECT

private slots:
    void decodesEveryField_data();
    void decodesEveryField();
    void setsFieldsByName_data();
    void setsFieldsByName();
    void roundTripsAsTheWindowWrites();
    void refusesARecordTheWindowRefuses();
};

void TestSettingsFields::decodesEveryField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    const QList<std::tuple<const char *, const char *, int>> rows{
        {"interface", "RS 232", 1},
        {"baud-rate", "9600", 3},
        {"data-format", "8-bit none", 0},
        {"protocol", "Data <CR>", 3},
        {"special-function", "function 2", 2},
        {"address", "012", 12},
        {"leading-characters", "03", 3},
        {"decimal-point", "position 2", 2},
        {"negative-values", "shown", 0},
        {"dimming", "A", 5},
        {"timeout", "10", 10},
        {"blank-after-timeout", "yes", 1},
    };
    for (const auto &[field, text, number] : rows)
        QTest::newRow(field) << QString::fromLatin1(field) << QString::fromLatin1(text) << number;
}

void TestSettingsFields::decodesEveryField()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, number);
    const SettingsFields fields = SettingsFields::fromRecord(bytesOf(Example));
    QCOMPARE(fields.text(field), text);
    QCOMPARE(fields.number(field), number);
}

void TestSettingsFields::setsFieldsByName_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("offset"); // where the record changes; -1: refused
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("baud by rate") << "baud-rate"
                                  << "19200" << 6 << QByteArray("4");
    QTest::newRow("baud by index") << "baud-rate"
                                   << "0" << 6 << QByteArray("0");
    QTest::newRow("interface by text, any case") << "interface"
                                                 << "rs 485" << 4 << QByteArray("0");
    QTest::newRow("protocol keeps the function band") << "protocol"
                                                      << "Zoma" << 10 << QByteArray("R");
    QTest::newRow("dimming by character") << "dimming"
                                          << "z" << 23 << QByteArray("Z");
    QTest::newRow("dimming 9 is the level, not item 9") << "dimming"
                                                        << "9" << 23 << QByteArray("9");
    QTest::newRow("address padded") << "address"
                                    << "7" << 12 << QByteArray("007");
    QTest::newRow("address 999") << "address"
                                 << "999" << 12 << QByteArray("999");
    QTest::newRow("timeout 00") << "timeout"
                                << "0" << 25 << QByteArray("00");
    QTest::newRow("blank no") << "blank-after-timeout"
                              << "no" << 27 << QByteArray("0");
    QTest::newRow("address 1000") << "address"
                                  << "1000" << -1 << QByteArray();
    QTest::newRow("address negative") << "address"
                                      << "-1" << -1 << QByteArray();
    QTest::newRow("timeout letters") << "timeout"
                                     << "1a" << -1 << QByteArray();
    QTest::newRow("baud 1234") << "baud-rate"
                               << "1234" << -1 << QByteArray();
    QTest::newRow("decimal point item 6") << "decimal-point"
                                          << "6" << -1 << QByteArray();
    QTest::newRow("blank maybe") << "blank-after-timeout"
                                 << "maybe" << -1 << QByteArray();
    QTest::newRow("unknown field") << "brightness"
                                   << "1" << -1 << QByteArray();
}

void TestSettingsFields::setsFieldsByName()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    SettingsFields fields = SettingsFields::fromRecord(bytesOf(Example));
    const SettingsTelegram::Bytes before = fields.toRecord();
    const std::optional<QString> refusal = fields.set(field, value);
    const SettingsTelegram::Bytes after = fields.toRecord();
    if (offset < 0) {
        QVERIFY(refusal.has_value());
        QVERIFY2(refusal->contains(field), qPrintable(*refusal));
        QVERIFY(before == after);
        return;
    }
    QVERIFY2(!refusal, qPrintable(refusal.value_or(QString())));
    for (int i = 0; i < SettingsTelegram::Size; ++i) {
        const bool inField = i >= offset && i < offset + bytes.size();
        QCOMPARE(after[i], inField ? std::uint8_t(bytes[i - offset]) : before[i]);
    }
}

void TestSettingsFields::roundTripsAsTheWindowWrites()
{
    const SettingsTelegram::Bytes record = bytesOf(Example);
    QVERIFY(SettingsFields::fromRecord(record).toRecord() == record);
    // A record with a zero byte in the address is written back with leading
    // zeros, as the window writes it.
    SettingsTelegram::Bytes shortAddress = record;
    shortAddress[13] = 0;
    const SettingsTelegram::Bytes written = SettingsFields::fromRecord(shortAddress).toRecord();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&written[12]), 3), QByteArray("000"));
}

void TestSettingsFields::refusesARecordTheWindowRefuses()
{
    SettingsTelegram::Bytes record = bytesOf(Example);
    record[19] = '/';
    QVERIFY_THROWS_EXCEPTION(EConvertError, SettingsFields::fromRecord(record));
}

QTEST_GUILESS_MAIN(TestSettingsFields)
#include "tst_settingsfields.moc"
