#include "DisplayDevice.h"
#include "DisplayRecordText.h"

#include <QTest>

namespace {

const QByteArray Example =
    QByteArray::fromHex("1B5A4553314233433050 4F41303132563033 4B324E30444154313031 0D0A");

QByteArray withByte(QByteArray record, int offset, char byte)
{
    record[offset] = byte;
    return record;
}

} // namespace

class TestDisplayRecordText : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAreTheLayoutDefaults()
    {
        QCOMPARE(DisplayDevice::defaultSettingsRecord().toHex(' ').toUpper(),
                 QByteArray("1B 5A 45 53 30 42 30 43 30 50 30 41 30 30 31 56 30 30 4B 30 4E 30 44 "
                            "46 54 30 30 30 0D 0A"));
        QCOMPARE(DisplayDevice::defaultBrightnessRecord().toHex(' ').toUpper(),
                 QByteArray("1B 48 54 01 06 08 0C 10 16 27 32 46 5A 6E A0 BE C8 D2 F0 0D 0A"));
    }

    void settings_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("text");
        QTest::newRow("defaults")
            << DisplayDevice::defaultSettingsRecord()
            << "interface RS 485, baud 1200, data 8-bit none, protocol 0 \"<STX> Data <ETX>\", "
               "special "
               "function none, address 001, leading characters 00, decimal point none, negative "
               "values "
               "shown, dimming F (brightest), timeout 00 s, blank after timeout no";
        QTest::newRow("example") << Example
                                 << "interface RS 232, baud 9600, data 8-bit none, protocol 3 "
                                    "\"Data <CR>\", special function 2, "
                                    "address 012, leading characters 03, decimal point position 2, "
                                    "negative values shown, "
                                    "dimming A, timeout 10 s, blank after timeout yes";
        QTest::newRow("no decimal-point item")
            << withByte(Example, 19, '/')
            << "interface RS 232, baud 9600, data 8-bit none, protocol 3 \"Data <CR>\", special "
               "function 2, "
               "address 012, leading characters 03, decimal point ? (2F), negative values shown, "
               "dimming A, timeout 10 s, blank after timeout yes";
        QTest::newRow("NUL in the address and a wrong tail")
            << withByte(withByte(Example, 13, '\0'), 29, 'x')
            << "interface RS 232, baud 9600, data 8-bit none, protocol 3 \"Data <CR>\", special "
               "function 2, "
               "address 0\\x002, leading characters 03, decimal point position 2, negative values "
               "shown, "
               "dimming A, timeout 10 s, blank after timeout yes (unexpected bytes at offsets 29)";
        QTest::newRow("short record") << Example.left(29) << "not a settings record (29 bytes)";
    }
    void settings()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, text);
        QCOMPARE(DisplayRecordText::settings(record), text);
    }

    void packedProtocol_data()
    {
        QTest::addColumn<char>("byte");
        QTest::addColumn<QString>("text");
        QTest::newRow("0x30") << '\x30' << "protocol 0 \"<STX> Data <ETX>\", special function none";
        QTest::newRow("0x3D") << '\x3D' << "protocol 13 \"Custom 7\", special function none";
        QTest::newRow("0x3E") << '\x3E' << "protocol 0 \"<STX> Data <ETX>\", special function 1";
        QTest::newRow("0x4F") << '\x4F' << "protocol 3 \"Data <CR>\", special function 2";
        QTest::newRow("0x36 Zoma") << '\x36' << "protocol 6 \"Zoma\", special function none";
        QTest::newRow("0x5A") << '\x5A' << "protocol 0 \"<STX> Data <ETX>\", special function 3";
        QTest::newRow("0x67") << '\x67' << "protocol 13 \"Custom 7\", special function 3";
        QTest::newRow("0x68") << '\x68' << "protocol ? (68)";
        QTest::newRow("0x2F") << '\x2F' << "protocol ? (2F)";
    }
    void packedProtocol()
    {
        QFETCH(char, byte);
        QFETCH(QString, text);
        QVERIFY2(DisplayRecordText::settings(withByte(Example, 10, byte))
                     .contains(", " + text + ", address"),
                 qPrintable(DisplayRecordText::settings(withByte(Example, 10, byte))));
    }

    void dimming_data()
    {
        QTest::addColumn<char>("byte");
        QTest::addColumn<QString>("text");
        QTest::newRow("F") << 'F' << "F (brightest)";
        QTest::newRow("9") << '9' << "9";
        QTest::newRow("0") << '0' << "0 (darkest)";
        QTest::newRow("Z") << 'Z' << "automatic";
        QTest::newRow("G") << 'G' << "? (47)";
        QTest::newRow("NUL") << '\0' << "? (00)";
    }
    void dimming()
    {
        QFETCH(char, byte);
        QFETCH(QString, text);
        QVERIFY(DisplayRecordText::settings(withByte(Example, 23, byte))
                    .contains("dimming " + text + ", timeout"));
    }

    void brightness_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("text");
        QTest::newRow("defaults")
            << DisplayDevice::defaultBrightnessRecord()
            << "001 006 008 012 016 022 039 050 070 090 110 160 190 200 210 240";
        QTest::newRow("0 and 255")
            << QByteArray::fromHex("1B4854 00FF0101010101010101010101010101 0D0A")
            << "000 255 001 001 001 001 001 001 001 001 001 001 001 001 001 001";
        QTest::newRow("wrong header")
            << QByteArray::fromHex("1B4855 01010101010101010101010101010101 0D0A")
            << "001 001 001 001 001 001 001 001 001 001 001 001 001 001 001 001 (header or tail "
               "not as laid out)";
        QTest::newRow("long record") << QByteArray(22, 'x') << "not a brightness record (22 bytes)";
    }
    void brightness()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, text);
        QCOMPARE(DisplayRecordText::brightness(record), text);
    }
};

QTEST_APPLESS_MAIN(TestDisplayRecordText)
#include "tst_displayrecordtext.moc"
