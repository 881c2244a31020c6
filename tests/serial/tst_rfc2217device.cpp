// The RFC 2217 back end on the wire, against a server scripted byte by byte:
// the opening negotiation, port commands, escaping both ways, notifications,
// a full socket, and connections that fail or end.
#include "FakeComPortServer.h"
#include "platform/CommDevice.h"
#include "platform/Rfc2217Address.h"
#include "platform/Rfc2217Codec.h"
#include "platform/Rfc2217Device.h"
#include "platform/TelnetNegotiation.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

Q_DECLARE_METATYPE(LineSettings)
Q_DECLARE_METATYPE(CommFunction)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What the client sends on every connection before anything else.
const QByteArray OpeningRequests = hex("FFFB00 FFFD00 FFFB2C");
// The notification masks that follow the agreement; the modem mask 0xFF is escaped.
const QByteArray NotificationMasks = hex("FFFA2C0A1EFFF0 FFFA2C0BFFFFFFF0");

LineSettings line(quint32 baud, quint8 byteSize, quint8 parity, quint8 stopBits, quint32 flags)
{
    LineSettings settings;
    settings.baudRate = baud;
    settings.byteSize = byteSize;
    settings.parity = parity;
    settings.stopBits = stopBits;
    settings.flags = flags;
    return settings;
}

bool readable(int fd, int timeoutMs)
{
    pollfd descriptor{fd, POLLIN, 0};
    return ::poll(&descriptor, 1, timeoutMs) > 0;
}

// Reads what the device delivers until `count` bytes have come or the wait is over.
QByteArray readData(CommDevice &device, int count, int timeoutMs = 2000)
{
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (data.size() < count && timer.elapsed() < timeoutMs) {
        if (!readable(device.inputWait().handle, 50))
            continue;
        char buffer[256];
        const int got = device.read(buffer, sizeof buffer);
        if (got < 0)
            break;
        data.append(buffer, got);
    }
    return data;
}

// The data bytes in what the server received, with the commands apart.
struct Decoded
{
    QByteArray data;
    QList<QByteArray> portCommands;
};

Decoded decode(const QByteArray &wire)
{
    Rfc2217Codec codec;
    Decoded decoded;
    for (const auto &item : codec.feed(wire)) {
        if (item.kind == Rfc2217Codec::Item::Kind::Data)
            decoded.data += item.bytes;
        else if (item.kind == Rfc2217Codec::Item::Kind::Subnegotiation)
            decoded.portCommands << item.bytes;
    }
    return decoded;
}

// The option negotiations in what a peer sent.
QList<Rfc2217Codec::Item> negotiationsIn(const QByteArray &wire)
{
    Rfc2217Codec codec;
    QList<Rfc2217Codec::Item> found;
    for (const auto &item : codec.feed(wire)) {
        if (item.kind == Rfc2217Codec::Item::Kind::Negotiation)
            found << item;
    }
    return found;
}

// The opposite of what the client said: it agreed, the server withdraws, and
// the other way round.
QByteArray contrary(const Rfc2217Codec::Item &said)
{
    static const QHash<quint8, quint8> opposite{{Telnet::DO, Telnet::WONT},
                                                {Telnet::DONT, Telnet::WILL},
                                                {Telnet::WILL, Telnet::DONT},
                                                {Telnet::WONT, Telnet::DO}};
    return Rfc2217Codec::negotiation(opposite.value(said.code), said.option);
}

} // namespace

class TestRfc2217Device : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeComPortServer> m_server;
    std::unique_ptr<CommDevice> m_device;

    // Opens a device on an agreeing server and takes the opening bytes off the wire.
    bool openDevice()
    {
        m_server = std::make_unique<FakeComPortServer>();
        m_device = openCommDevice(m_server->address());
        return m_device && m_server->waitForClient() &&
               m_server->receiveExactly(int(OpeningRequests.size() + NotificationMasks.size())) ==
                   OpeningRequests + NotificationMasks;
    }

    // Lets the device take in what the server sent and returns the line events.
    quint32 eventsAfter(const QByteArray &notice)
    {
        m_server->send(notice);
        if (!readable(m_device->inputWait().handle, 2000))
            return 0xDEAD;
        char buffer[64];
        m_device->read(buffer, sizeof buffer);
        return m_device->sampleLineEvents();
    }

    // Reads until nothing more comes, as the event thread would.
    void takeEverything()
    {
        char buffer[4096];
        while (readable(m_device->inputWait().handle, 20) &&
               m_device->read(buffer, sizeof buffer) >= 0) {
        }
    }

    // What the client sends once the server reads again, queued bytes included.
    QByteArray drainClient()
    {
        QByteArray wire;
        for (int round = 0; round < 200; ++round) {
            m_device->sampleLineEvents();
            const QByteArray more = m_server->receive(50);
            wire += more;
            if (more.isEmpty() && static_cast<Rfc2217Device &>(*m_device).waitingBytes() == 0)
                break;
        }
        return wire;
    }

private slots:
    void cleanup()
    {
        m_device.reset();
        m_server.reset();
    }

    void openingResults_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<int>("error");
        QTest::newRow("server agrees") << FakeComPortServer::agreeingGreeting() << false << 0;
        QTest::newRow("server offers the option itself")
            << hex("FFFD00 FFFB00 FFFB2C") << false << 0;
        QTest::newRow("COM port control refused")
            << hex("FFFD00 FFFB00 FFFE2C") << false << EPROTONOSUPPORT;
        QTest::newRow("COM port control agreed and taken back at once")
            << hex("FFFD00 FFFB00 FFFD2C FFFE2C") << false << EPROTONOSUPPORT;
        QTest::newRow("BINARY refused for our data")
            << hex("FFFE00 FFFB00 FFFD2C") << false << EPROTONOSUPPORT;
        QTest::newRow("BINARY refused for the server's data")
            << hex("FFFD00 FFFC00 FFFD2C") << false << EPROTONOSUPPORT;
        QTest::newRow("server hangs up") << QByteArray() << true << ECONNRESET;
        QTest::newRow("data before the agreement is dropped")
            << hex("4142 FFFD00 FFFB00 FFFD2C") << false << 0;
    }
    void openingResults()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(bool, hangUp);
        QFETCH(int, error);
        m_server = std::make_unique<FakeComPortServer>(greeting, hangUp);
        errno = 0;
        m_device = openCommDevice(m_server->address());
        QCOMPARE(m_device ? 0 : errno, error);
        if (!m_device)
            return;
        QVERIFY(m_server->waitForClient());
        // The agreement the other way round is answered, and nothing else.
        const QByteArray answer = greeting.contains(hex("FFFB2C")) ? hex("FFFD2C") : QByteArray();
        QCOMPARE(m_server->receive(), OpeningRequests + answer + NotificationMasks);
        char buffer[16];
        QCOMPARE(m_device->read(buffer, sizeof buffer), 0);
    }

    void silentServerTimesOut()
    {
        m_server = std::make_unique<FakeComPortServer>(QByteArray());
        QElapsedTimer timer;
        timer.start();
        m_device = openCommDevice(m_server->address());
        QVERIFY(!m_device);
        QCOMPARE(errno, ETIMEDOUT);
        QVERIFY(timer.elapsed() >= 4500 && timer.elapsed() < 8000);
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("IPv4") << "rfc2217://127.0.0.1:7020" << true << "127.0.0.1" << 7020;
        QTest::newRow("name") << "rfc2217://display-server.local:4001" << true
                              << "display-server.local" << 4001;
        QTest::newRow("IPv6 in brackets") << "rfc2217://[::1]:2217" << true << "::1" << 2217;
        QTest::newRow("scheme in capitals") << "RFC2217://10.0.0.5:1" << true << "10.0.0.5" << 1;
        QTest::newRow("highest port") << "rfc2217://h:65535" << true << "h" << 65535;
        QTest::newRow("no port") << "rfc2217://127.0.0.1" << false << "" << 0;
        QTest::newRow("port 0") << "rfc2217://127.0.0.1:0" << false << "" << 0;
        QTest::newRow("port too big") << "rfc2217://127.0.0.1:65536" << false << "" << 0;
        QTest::newRow("no host") << "rfc2217://:7020" << false << "" << 0;
        QTest::newRow("path after the port") << "rfc2217://h:7020/x" << false << "" << 0;
        QTest::newRow("options after the port")
            << "rfc2217://h:7020?logging=debug" << false << "" << 0;
        QTest::newRow("IPv6 without brackets") << "rfc2217://::1:2217" << false << "" << 0;
        QTest::newRow("blank in the host") << "rfc2217://a b:1" << false << "" << 0;
    }
    void addresses()
    {
        QFETCH(QString, path);
        QFETCH(bool, valid);
        QVERIFY(Rfc2217Address::isNetworkPath(path));
        const auto address = Rfc2217Address::parse(path);
        QCOMPARE(address.has_value(), valid);
        if (valid) {
            QTEST(address->host, "host");
            QTEST(int(address->port), "port");
        } else {
            QVERIFY(!openCommDevice(path));
            QCOMPARE(errno, EINVAL);
        }
    }

    void lineSettingsOnTheWire_data()
    {
        QTest::addColumn<LineSettings>("settings");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("the window's 300 8N2, no flow control")
            << line(300, 8, 0, 2, 0x0C03)
            << hex("FFFA2C010000012CFFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0 FFFA2C0509FFF0 FFFA2C050CFFF0");
        QTest::newRow("9600 7E1, XON/XOFF both ways, DTR and RTS held high")
            << line(9600, 7, 2, 0, 0x1311)
            << hex("FFFA2C0100002580FFF0 FFFA2C0207FFF0 FFFA2C0303FFF0 FFFA2C0401FFF0"
                   "FFFA2C0502FFF0 FFFA2C050FFFF0 FFFA2C0508FFF0 FFFA2C050BFFF0");
        QTest::newRow("115200 5M1.5, CTS and RTS handshake")
            << line(115200, 5, 3, 1, 0x2005)
            << hex("FFFA2C010001C200FFF0 FFFA2C0205FFF0 FFFA2C0304FFF0 FFFA2C0403FFF0"
                   "FFFA2C0503FFF0 FFFA2C0510FFF0 FFFA2C0509FFF0");
        QTest::newRow("speed bytes 0xFF escaped, space parity, DTR handshake, RTS toggle")
            << line(65535, 8, 4, 2, 0x3021)
            << hex("FFFA2C010000FFFFFFFFFFF0 FFFA2C0208FFF0 FFFA2C0305FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0 FFFA2C0512FFF0 FFFA2C050CFFF0");
        QTest::newRow("odd parity, DSR flow")
            << line(1200, 6, 1, 0, 0x0009)
            << hex("FFFA2C01000004B0FFF0 FFFA2C0206FFF0 FFFA2C0302FFF0 FFFA2C0401FFF0"
                   "FFFA2C0513FFF0 FFFA2C0509FFF0 FFFA2C050CFFF0");
    }
    void lineSettingsOnTheWire()
    {
        QFETCH(LineSettings, settings);
        QVERIFY(openDevice());
        LineSettings before;
        QVERIFY(!m_device->readLineSettings(before));
        QCOMPARE(errno, ENODATA);
        QVERIFY(m_device->writeLineSettings(settings));
        QTEST(m_server->receive(), "wire");
        LineSettings after;
        QVERIFY(m_device->readLineSettings(after));
        QCOMPARE(after.baudRate, settings.baudRate);
        QCOMPARE(after.flags, settings.flags);
        QCOMPARE(after.stopBits, settings.stopBits);
    }

    // After SetRts raised RTS, a second settings write drives a line only when
    // its control mode changed: a rewrite must not drop the handshake's RTS.
    void rewrittenLineSettingsKeepRts_data()
    {
        QTest::addColumn<LineSettings>("rewrite");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("same settings again")
            << line(300, 8, 0, 2, 0x0C03)
            << hex("FFFA2C010000012CFFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0");
        QTest::newRow("another speed")
            << line(1200, 8, 0, 2, 0x0C03)
            << hex("FFFA2C01000004B0FFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0");
        QTest::newRow("RTS control now held high, DTR kept")
            << line(300, 8, 0, 2, 0x1C03)
            << hex("FFFA2C010000012CFFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0 FFFA2C050BFFF0");
        QTest::newRow("DTR control now held high, RTS kept")
            << line(300, 8, 0, 2, 0x0C13)
            << hex("FFFA2C010000012CFFF0 FFFA2C0208FFF0 FFFA2C0301FFF0 FFFA2C0402FFF0"
                   "FFFA2C0501FFF0 FFFA2C0508FFF0");
    }
    void rewrittenLineSettingsKeepRts()
    {
        QFETCH(LineSettings, rewrite);
        QVERIFY(openDevice());
        QVERIFY(m_device->writeLineSettings(line(300, 8, 0, 2, 0x0C03)));
        QVERIFY(m_device->escape(CommFunction::SetRts));
        QVERIFY(m_server->receive().endsWith(hex("FFFA2C050BFFF0")));
        QVERIFY(m_device->writeLineSettings(rewrite));
        QTEST(m_server->receive(), "wire");
    }

    void impossibleLineSettingsAreRefused_data()
    {
        QTest::addColumn<LineSettings>("settings");
        QTest::newRow("no speed") << line(0, 8, 0, 0, 1);
        QTest::newRow("4 data bits") << line(300, 4, 0, 0, 1);
        QTest::newRow("9 data bits") << line(300, 9, 0, 0, 1);
        QTest::newRow("unknown parity") << line(300, 8, 5, 0, 1);
        QTest::newRow("unknown stop bits") << line(300, 8, 0, 3, 1);
    }
    void impossibleLineSettingsAreRefused()
    {
        QFETCH(LineSettings, settings);
        QVERIFY(openDevice());
        errno = 0;
        QVERIFY(!m_device->writeLineSettings(settings));
        QCOMPARE(errno, EINVAL);
        QCOMPARE(m_server->receive(), QByteArray());
    }

    void serverAnswersShowInTheLineSettings()
    {
        QVERIFY(openDevice());
        QVERIFY(m_device->writeLineSettings(line(300, 8, 0, 2, 0x0C03)));
        m_server->receive();
        // The server keeps one stop bit and answers 1200 Bd, even parity, 7 bits.
        QCOMPARE(eventsAfter(hex("FFFA2C6801FFF0")), 0u);
        QCOMPARE(eventsAfter(hex("FFFA2C65000004B0FFF0 FFFA2C6607FFF0 FFFA2C6703FFF0")), 0u);
        LineSettings now;
        QVERIFY(m_device->readLineSettings(now));
        QCOMPARE(now.baudRate, 1200u);
        QCOMPARE(now.parity, quint8(2));
        QCOMPARE(now.byteSize, quint8(7));
        QCOMPARE(now.stopBits, quint8(0));
        QCOMPARE(now.flags, 0x0C03u);
    }

    void lineFunctionsOnTheWire_data()
    {
        QTest::addColumn<CommFunction>("function");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("RTS high") << CommFunction::SetRts << hex("FFFA2C050BFFF0");
        QTest::newRow("RTS low") << CommFunction::ClearRts << hex("FFFA2C050CFFF0");
        QTest::newRow("reset purges both buffers")
            << CommFunction::ResetDevice << hex("FFFA2C0C03FFF0");
    }
    void lineFunctionsOnTheWire()
    {
        QFETCH(CommFunction, function);
        QVERIFY(openDevice());
        QVERIFY(m_device->escape(function));
        QTEST(m_server->receive(), "wire");
    }

    void resetDropsWhatHasArrived()
    {
        QVERIFY(openDevice());
        QVERIFY(m_server->send("old bytes"));
        QVERIFY(readable(m_device->inputWait().handle, 2000));
        QVERIFY(m_device->escape(CommFunction::ResetDevice));
        QVERIFY(m_server->send("new"));
        QCOMPARE(readData(*m_device, 3), QByteArray("new"));
    }

    void writtenIacIsDoubled_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("plain") << hex("1B5A450D0A") << hex("1B5A450D0A");
        QTest::newRow("one 0xFF") << hex("41FF42") << hex("41FFFF42");
        QTest::newRow("two 0xFF in a row") << hex("FFFF") << hex("FFFFFFFF");
        QTest::newRow("0xFF last") << hex("00FF") << hex("00FFFF");
        QTest::newRow("command bytes stay data") << hex("F0FAFB") << hex("F0FAFB");
    }
    void writtenIacIsDoubled()
    {
        QFETCH(QByteArray, data);
        QVERIFY(openDevice());
        QCOMPARE(m_device->write(data.constData(), int(data.size())), int(data.size()));
        QTEST(m_server->receive(), "wire");
    }

    void readStripsTheFraming_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("doubled 0xFF") << QList<QByteArray>{hex("41FFFF42")} << hex("41FF42");
        QTest::newRow("escape cut between two sends")
            << QList<QByteArray>{hex("41FF"), hex("FF42")} << hex("41FF42");
        QTest::newRow("notification inside the data")
            << QList<QByteArray>{hex("41 FFFA2C6B00FFF0 42")} << hex("4142");
        QTest::newRow("notification cut three ways")
            << QList<QByteArray>{hex("41FFFA2C"), hex("6B00FF"), hex("F042")} << hex("4142");
        QTest::newRow("NOP between data") << QList<QByteArray>{hex("41FFF142")} << hex("4142");
        QTest::newRow("other option's subnegotiation")
            << QList<QByteArray>{hex("FFFA1801FFF0 41")} << hex("41");
        QTest::newRow("zero bytes are data")
            << QList<QByteArray>{hex("000D0A00")} << hex("000D0A00");
    }
    void readStripsTheFraming()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QByteArray, data);
        QVERIFY(openDevice());
        QByteArray received;
        for (const QByteArray &chunk : chunks) {
            QVERIFY(m_server->send(chunk));
            QVERIFY(readable(m_device->inputWait().handle, 2000));
            char buffer[64];
            const int got = m_device->read(buffer, sizeof buffer);
            QVERIFY(got >= 0);
            received.append(buffer, got);
        }
        QCOMPARE(received, data);
        QVERIFY(!readable(m_device->inputWait().handle, 20));
    }

    // Reads of a few bytes never leave data behind that poll(2) cannot show.
    void smallReadsLeaveNothingUnseen()
    {
        QVERIFY(openDevice());
        QByteArray sent;
        for (int i = 0; i < 300; ++i)
            sent.append(char(i % 3 == 0 ? 0xFF : i));
        QVERIFY(m_server->send(Rfc2217Codec::escape(sent)));
        QByteArray received;
        while (readable(m_device->inputWait().handle, 200)) {
            char buffer[7];
            const int got = m_device->read(buffer, sizeof buffer);
            QVERIFY(got >= 0 && got <= 7);
            received.append(buffer, got);
        }
        QCOMPARE(received, sent);
    }

    void answersToTheServersOptions_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("ECHO refused") << hex("FFFB01") << hex("FFFE01");
        QTest::newRow("terminal type refused") << hex("FFFD18") << hex("FFFC18");
        QTest::newRow("suppress-go-ahead accepted") << hex("FFFB03") << hex("FFFD03");
        QTest::newRow("BINARY asked again: already on") << hex("FFFD00") << QByteArray();
        QTest::newRow("BINARY switched off") << hex("FFFE00") << hex("FFFC00");
        QTest::newRow("ECHO withdrawn: was never on") << hex("FFFC01") << QByteArray();
    }
    void answersToTheServersOptions()
    {
        QFETCH(QByteArray, request);
        QVERIFY(openDevice());
        QCOMPARE(eventsAfter(request), 0u);
        QTEST(m_server->receive(), "answer");
    }

    // A server that floods offers and never reads: each option is answered a
    // bounded number of times, and what waits for the socket stays small.
    void optionFloodStaysBounded_data()
    {
        QTest::addColumn<QByteArray>("offers");
        QTest::addColumn<int>("rounds");
        QTest::addColumn<int>("answers");
        QTest::addColumn<bool>("exact");
        const int most = TelnetNegotiation::MaxAnswersPerOption;
        QTest::newRow("refused ECHO offered again and again")
            << hex("FFFB01") << 2000 << most << true;
        QTest::newRow("terminal type asked for again and again")
            << hex("FFFD18") << 2000 << most << true;
        QTest::newRow("suppress-go-ahead switched on and off")
            << hex("FFFB03 FFFC03") << 1000 << most << true;
        QByteArray everything;
        for (int option = 0; option < 256; ++option)
            everything += Rfc2217Codec::negotiation(Telnet::WILL, quint8(option)) +
                          Rfc2217Codec::negotiation(Telnet::DONT, quint8(option)) +
                          Rfc2217Codec::negotiation(Telnet::DO, quint8(option)) +
                          Rfc2217Codec::negotiation(Telnet::WONT, quint8(option));
        QTest::newRow("every option offered and withdrawn")
            << everything << 12 << 2 * 256 * most << false;
    }
    void optionFloodStaysBounded()
    {
        QFETCH(QByteArray, offers);
        QFETCH(int, rounds);
        QFETCH(int, answers);
        QFETCH(bool, exact);
        QVERIFY(openDevice());
        const int small = 4096;
        setsockopt(m_device->inputWait().handle, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        auto &device = static_cast<Rfc2217Device &>(*m_device);
        // The socket is full already, so every answer would have to wait here.
        const QByteArray data(4096, 'x');
        for (int block = 0; block < 1000 && m_device->write(data.constData(), 4096) > 0; ++block) {
        }
        const QByteArray flood = offers.repeated(rounds);
        for (qsizetype at = 0; at < flood.size(); at += 8192) {
            QVERIFY(m_server->send(flood.mid(at, 8192)));
            takeEverything();
        }
        QVERIFY2(device.waitingBytes() <= Rfc2217Device::MaxWaitingAnswerBytes + 3,
                 qPrintable(QString::number(device.waitingBytes())));
        const int sent = int(negotiationsIn(drainClient()).size());
        QVERIFY2(exact ? sent == answers : sent <= answers && sent > 0,
                 qPrintable(QString::number(sent)));
    }

    // Whole buffers of nothing but commands pause the input for a moment, so
    // that TCP slows the server down; data after them still arrives.
    void commandFloodPausesInput()
    {
        QVERIFY(openDevice());
        QVERIFY(m_server->send(hex("FFF1").repeated(50000) + "data"));
        QVERIFY(readable(m_device->inputWait().handle, 2000));
        char buffer[4096];
        QCOMPARE(m_device->read(buffer, sizeof buffer), 0);
        QVERIFY(m_device->inputPauseMs() > 0);
        QCOMPARE(m_device->read(buffer, sizeof buffer), 0);
        QCOMPARE(readData(*m_device, 4), QByteArray("data"));
        QCOMPARE(m_device->inputPauseMs(), 0);
    }

    // A server that answers each answer with the opposite: the exchange ends.
    void pingPongEnds_data()
    {
        QTest::addColumn<QByteArray>("opening");
        QTest::newRow("supported option") << hex("FFFB03");
        QTest::newRow("refused option") << hex("FFFB01");
        QTest::newRow("option on our side") << hex("FFFD00");
    }
    void pingPongEnds()
    {
        QFETCH(QByteArray, opening);
        QVERIFY(openDevice());
        QByteArray toSend = opening;
        int answers = 0;
        int round = 0;
        for (; round < 100 && !toSend.isEmpty(); ++round) {
            QVERIFY(m_server->send(toSend));
            takeEverything();
            toSend.clear();
            for (const auto &said : negotiationsIn(m_server->receive(50))) {
                ++answers;
                toSend += contrary(said);
            }
        }
        QVERIFY2(round < 100, "the negotiation did not end");
        QVERIFY2(answers <= 2 * TelnetNegotiation::MaxAnswersPerOption,
                 qPrintable(QString::number(answers)));
    }

    void modemNotificationsBecomeLineEvents_data()
    {
        QTest::addColumn<QByteArray>("states");
        QTest::addColumn<quint32>("events");
        QTest::newRow("first notification only sets the levels") << hex("33") << 0u;
        QTest::newRow("CTS rises") << hex("00 11") << quint32(CommEvent::Cts);
        QTest::newRow("DSR falls") << hex("20 02") << quint32(CommEvent::Dsr);
        QTest::newRow("ring ends") << hex("40 04") << quint32(CommEvent::Ring);
        QTest::newRow("carrier detected") << hex("00 88") << quint32(CommEvent::Rlsd);
        QTest::newRow("CTS falls, no delta bit sent") << hex("10 00") << quint32(CommEvent::Cts);
        QTest::newRow("nothing changed") << hex("30 30") << 0u;
        QTest::newRow("two lines at once")
            << hex("00 33") << quint32(CommEvent::Cts | CommEvent::Dsr);
    }
    void modemNotificationsBecomeLineEvents()
    {
        QFETCH(QByteArray, states);
        QVERIFY(openDevice());
        quint32 last = 0;
        for (int i = 0; i < states.size(); ++i) {
            QByteArray notice = hex("FFFA2C6B");
            notice += Rfc2217Codec::escape(states.mid(i, 1)) + hex("FFF0");
            last = eventsAfter(notice);
            if (i == 0)
                QCOMPARE(last, 0u);
        }
        QTEST(last, "events");
        QCOMPARE(m_device->sampleLineEvents(), 0u);
    }

    void lineStateNotificationsBecomeErrors_data()
    {
        QTest::addColumn<quint8>("state");
        QTest::addColumn<quint32>("events");
        QTest::addColumn<quint32>("errors");
        QTest::newRow("overrun") << quint8(0x02) << quint32(CommEvent::Error)
                                 << quint32(CommError::Overrun);
        QTest::newRow("parity") << quint8(0x04) << quint32(CommEvent::Error)
                                << quint32(CommError::RxParity);
        QTest::newRow("framing") << quint8(0x08) << quint32(CommEvent::Error)
                                 << quint32(CommError::Frame);
        QTest::newRow("break") << quint8(0x10) << quint32(CommEvent::Break)
                               << quint32(CommError::Break);
        QTest::newRow("all four") << quint8(0x1E) << quint32(CommEvent::Error | CommEvent::Break)
                                  << quint32(CommError::Overrun | CommError::RxParity |
                                             CommError::Frame | CommError::Break);
        QTest::newRow("data ready and register states") << quint8(0x61) << 0u << 0u;
    }
    void lineStateNotificationsBecomeErrors()
    {
        QFETCH(quint8, state);
        QVERIFY(openDevice());
        QByteArray notice = hex("FFFA2C6A");
        notice += char(state);
        notice += hex("FFF0");
        QTEST(eventsAfter(notice), "events");
        quint32 errors = 0;
        CommStatus status;
        QVERIFY(m_device->clearErrors(errors, status));
        QTEST(errors, "errors");
        QVERIFY(m_device->clearErrors(errors, status));
        QCOMPARE(errors, 0u);
    }

    void serverClosingCountsAsRemoval()
    {
        QVERIFY(openDevice());
        m_server->send("last");
        m_server->closeClient();
        QCOMPARE(readData(*m_device, 4), QByteArray("last"));
        QVERIFY(readable(m_device->inputWait().handle, 2000));
        char buffer[16];
        QCOMPARE(m_device->read(buffer, sizeof buffer), -1);
        QCOMPARE(errno, EIO);
        QVERIFY(m_device->removed());

        quint32 errors = 0;
        CommStatus status;
        QVERIFY(m_device->clearErrors(errors, status));
        QCOMPARE(errors, quint32(CommError::DeviceIo));
        QVERIFY(m_device->clearErrors(errors, status));
        QCOMPARE(errors, 0u);
        QCOMPARE(m_device->write("x", 1), -1);
        QVERIFY(!m_device->escape(CommFunction::SetRts));
        QCOMPARE(errno, EIO);
        QCOMPARE(m_device->sampleLineEvents(), 0u);
    }

    // With the socket full, escapes cut in half and port commands wait, and
    // everything arrives whole and in order once the server reads again.
    void fullSocketCutsNothing()
    {
        QVERIFY(openDevice());
        const int small = 4096;
        setsockopt(m_device->inputWait().handle, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        QByteArray data(300000, '\0');
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char(QRandomGenerator::global()->bounded(3) == 0 ? 0xFF : i & 0x7F);

        QByteArray wire;
        int written = 0;
        int commands = 0;
        while (written < data.size()) {
            const int got = m_device->write(data.constData() + written,
                                            int(qMin<qsizetype>(data.size() - written, 2048)));
            QVERIFY(got >= 0);
            written += got;
            if (got == 0) {
                // Full: a port command must wait here, then the server reads a little.
                QVERIFY(
                    m_device->escape(commands % 2 ? CommFunction::ClearRts : CommFunction::SetRts));
                ++commands;
                wire += m_server->receive(1);
            }
        }
        // What still waits in the device goes out with its next sample.
        for (int round = 0; round < 1000; ++round) {
            m_device->sampleLineEvents();
            const QByteArray more = m_server->receive(20);
            wire += more;
            quint32 errors = 0;
            CommStatus status;
            QVERIFY(m_device->clearErrors(errors, status));
            if (more.isEmpty() && status.outQueue == 0)
                break;
        }
        QVERIFY(commands > 0);
        const Decoded decoded = decode(wire);
        QCOMPARE(decoded.data.size(), data.size());
        QVERIFY(decoded.data == data);
        // The masks from the opening were taken off before; then only RTS commands.
        QCOMPARE(decoded.portCommands.size(), commands);
        for (int i = 0; i < commands; ++i)
            QCOMPARE(decoded.portCommands[i], hex(i % 2 ? "050C" : "050B"));
    }
};

QTEST_GUILESS_MAIN(TestRfc2217Device)
#include "tst_rfc2217device.moc"
