#include "Rfc2217Codec.h"

#include <QTest>

using Item = Rfc2217Codec::Item;
using Kind = Rfc2217Codec::Item::Kind;
Q_DECLARE_METATYPE(QList<Item>)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

Item data(const char *hexText)
{
    return {Kind::Data, hex(hexText), 0, 0};
}

Item negotiation(quint8 verb, quint8 option)
{
    return {Kind::Negotiation, {}, verb, option};
}

Item sub(quint8 option, const char *payloadHex)
{
    return {Kind::Subnegotiation, hex(payloadHex), 0, option};
}

Item command(quint8 code)
{
    return {Kind::Command, {}, code, 0};
}

Item malformed(const char *hexText)
{
    return {Kind::Malformed, hex(hexText), 0, 0};
}

// Data split over several reads comes back in several Data items; joining
// neighbours makes results of different splits comparable.
QList<Item> joined(const QList<Item> &items)
{
    QList<Item> out;
    for (const Item &item : items) {
        if (item.kind == Kind::Data && !out.isEmpty() && out.last().kind == Kind::Data)
            out.last().bytes += item.bytes;
        else
            out.append(item);
    }
    return out;
}

QString describe(const QList<Item> &items)
{
    QStringList parts;
    for (const Item &item : items)
        parts << QStringLiteral("%1/%2/%3/%4")
                     .arg(int(item.kind))
                     .arg(item.code)
                     .arg(item.option)
                     .arg(QString::fromLatin1(item.bytes.toHex(' ')));
    return parts.join(QStringLiteral(" | "));
}

} // namespace

class TestRfc2217Codec : public QObject
{
    Q_OBJECT

private slots:
    void escape_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("escaped");
        QTest::newRow("empty") << QByteArray() << QByteArray();
        QTest::newRow("no 0xFF") << hex("1B5A450D0A00") << hex("1B5A450D0A00");
        QTest::newRow("one 0xFF") << hex("FF") << hex("FFFF");
        QTest::newRow("two 0xFF") << hex("FFFF") << hex("FFFFFFFF");
        QTest::newRow("0xFF inside") << hex("1B48FFF00D") << hex("1B48FFFFF00D");
        QTest::newRow("command bytes stay") << hex("F0FAFBFE") << hex("F0FAFBFE");
    }
    void escape()
    {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, escaped);
        QCOMPARE(Rfc2217Codec::escape(input), escaped);
        Rfc2217Codec codec;
        QCOMPARE(joined(codec.feed(escaped)),
                 input.isEmpty() ? QList<Item>{} : QList<Item>{data(input.toHex())});
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<Item>>("expected");
        QTest::newRow("plain data") << hex("414243") << QList<Item>{data("414243")};
        QTest::newRow("escaped 0xFF") << hex("41FFFF42") << QList<Item>{data("41FF42")};
        QTest::newRow("only escaped 0xFF") << hex("FFFFFFFF") << QList<Item>{data("FFFF")};
        QTest::newRow("will com port")
            << hex("FFFB2C") << QList<Item>{negotiation(Telnet::WILL, 44)};
        QTest::newRow("data around negotiation")
            << hex("41FFFD0042") << QList<Item>{data("41"), negotiation(Telnet::DO, 0), data("42")};
        QTest::newRow("option 255") << hex("FFFEFF") << QList<Item>{negotiation(Telnet::DONT, 255)};
        QTest::newRow("set baudrate")
            << hex("FFFA2C010000012CFFF0") << QList<Item>{sub(44, "010000012C")};
        QTest::newRow("escaped 0xFF inside subnegotiation")
            << hex("FFFA2C650000FFFFFFFFFFF0") << QList<Item>{sub(44, "650000FFFF")};
        QTest::newRow("SE value inside subnegotiation")
            << hex("FFFA2C05F0FFF041") << QList<Item>{sub(44, "05F0"), data("41")};
        QTest::newRow("other option") << hex("FFFA18FFF0") << QList<Item>{sub(0x18, "")};
        QTest::newRow("nop") << hex("41FFF142")
                             << QList<Item>{data("41"), command(Telnet::NOP), data("42")};
        QTest::newRow("stray SE") << hex("FFF0") << QList<Item>{command(Telnet::SE)};
        QTest::newRow("lost SE before negotiation")
            << hex("FFFA2C050BFFFB0041")
            << QList<Item>{malformed("FFFA2C050B"), negotiation(Telnet::WILL, 0), data("41")};
        QTest::newRow("lost SE before next subnegotiation")
            << hex("FFFA2C01FFFA2C0208FFF0") << QList<Item>{malformed("FFFA2C01"), sub(44, "0208")};
        QTest::newRow("empty subnegotiation")
            << hex("FFFAFFF041") << QList<Item>{malformed("FFFA"), data("41")};
        QTest::newRow("telegram with commands between")
            << hex("1B5AFFFA2C050BFFF045FFFF0D")
            << QList<Item>{data("1B5A"), sub(44, "050B"), data("45FF0D")};
    }
    void parse()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<Item>, expected);
        Rfc2217Codec whole;
        QCOMPARE(describe(whole.feed(stream)), describe(expected));

        for (qsizetype split = 1; split < stream.size(); ++split) {
            Rfc2217Codec codec;
            QList<Item> items = codec.feed(QByteArrayView(stream).first(split));
            items += codec.feed(QByteArrayView(stream).sliced(split));
            QVERIFY2(
                joined(items) == expected,
                qPrintable(
                    QStringLiteral("split at %1: %2").arg(split).arg(describe(joined(items)))));
        }
        Rfc2217Codec bytewise;
        QList<Item> items;
        for (const char c : stream)
            items += bytewise.feed(QByteArrayView(&c, 1));
        QCOMPARE(describe(joined(items)), describe(expected));
    }

    void overlongSubnegotiationIsDiscarded()
    {
        QByteArray stream = hex("FFFA2C");
        stream += QByteArray(Rfc2217Codec::MaxSubnegotiation + 500, 'x');
        stream += hex("FFF041");
        Rfc2217Codec codec;
        const QList<Item> items = codec.feed(stream);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].kind, Kind::Malformed);
        QCOMPARE(items[0].bytes.size(), 2 + Rfc2217Codec::MaxSubnegotiation);
        QCOMPARE(items[1], data("41"));
    }

    void resetForgetsCutOffCommand()
    {
        Rfc2217Codec codec;
        QVERIFY(codec.feed(hex("FFFA2C05")).isEmpty());
        codec.reset();
        QCOMPARE(codec.feed(hex("41FFF0")), (QList<Item>{data("41"), command(Telnet::SE)}));
    }

    void build_data()
    {
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("will binary")
            << Rfc2217Codec::negotiation(Telnet::WILL, Telnet::OptionBinary) << hex("FFFB00");
        QTest::newRow("do com port")
            << Rfc2217Codec::negotiation(Telnet::DO, Telnet::OptionComPort) << hex("FFFD2C");
        QTest::newRow("set baudrate 300")
            << Rfc2217Codec::comPortCommand(ComPort::SetBaudrate, Rfc2217Codec::uint32Value(300))
            << hex("FFFA2C010000012CFFF0");
        QTest::newRow("rts on") << Rfc2217Codec::comPortCommand(ComPort::SetControl, hex("0B"))
                                << hex("FFFA2C050BFFF0");
        QTest::newRow("server reply with 0xFF in value")
            << Rfc2217Codec::comPortCommand(ComPort::serverReply(ComPort::SetBaudrate),
                                            Rfc2217Codec::uint32Value(0x0001C1FF))
            << hex("FFFA2C650001C1FFFFFFF0");
        QTest::newRow("poll without value")
            << Rfc2217Codec::comPortCommand(ComPort::NotifyModemstate) << hex("FFFA2C07FFF0");
        QTest::newRow("option 255 escaped")
            << Rfc2217Codec::subnegotiation(255, hex("01")) << hex("FFFAFFFF01FFF0");
    }
    void build()
    {
        QFETCH(QByteArray, built);
        QFETCH(QByteArray, expected);
        QCOMPARE(built.toHex(' '), expected.toHex(' '));
    }

    void subnegotiationRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("all 0xFF") << hex("FFFFFFFF");
        QTest::newRow("IAC SE inside") << hex("FFF0");
        QTest::newRow("every byte") << [] {
            QByteArray all;
            for (int i = 0; i < 256; ++i)
                all.append(char(i));
            return all;
        }();
    }
    void subnegotiationRoundTrip()
    {
        QFETCH(QByteArray, value);
        Rfc2217Codec codec;
        const QList<Item> items =
            codec.feed(Rfc2217Codec::comPortCommand(ComPort::PurgeData, value));
        QCOMPARE(items.size(), 1);
        QCOMPARE(items[0].kind, Kind::Subnegotiation);
        QCOMPARE(items[0].option, Telnet::OptionComPort);
        QCOMPARE(items[0].bytes, QByteArray(1, char(ComPort::PurgeData)) + value);
    }

    void numbers()
    {
        QCOMPARE(ComPort::serverReply(ComPort::SetBaudrate), quint8(101));
        QCOMPARE(ComPort::serverReply(ComPort::SetControl), quint8(105));
        QCOMPARE(ComPort::serverReply(ComPort::PurgeData), quint8(112));
        for (const quint32 value : {0u, 300u, 19200u, 0xFFFFFFFFu})
            QCOMPARE(Rfc2217Codec::toUint32(Rfc2217Codec::uint32Value(value)),
                     std::optional<quint32>(value));
        QCOMPARE(Rfc2217Codec::toUint32(hex("00012C")), std::nullopt);
        QCOMPARE(Rfc2217Codec::toUint32(hex("000000012C")), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(TestRfc2217Codec)
#include "tst_rfc2217codec.moc"
