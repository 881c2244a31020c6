#include "DisplayDevice.h"
#include "DisplaySimulator.h"
#include "TelnetTestClient.h"

#include <QTest>
#include <memory>

using namespace std::chrono_literals;
Q_DECLARE_METATYPE(DisplaySimOptions)

namespace {

const QByteArray Example =
    QByteArray::fromHex("1B5A4553314233433050 4F41303132563033 4B324E30444154313031 0D0A");
const QByteArray OddBrightness =
    QByteArray::fromHex("1B4854 01FF1B0500FF16273246 465A6EA0BEFF 0D0A");
const QByteArray ReadSettings = QByteArray::fromHex("1B59410D0A");
const QByteArray ReadBrightness = QByteArray::fromHex("1B53740D0A");
const QByteArray Ack("\x06");
const QByteArray Enq("\x05");
// Long enough for anything the simulator sends in fast mode to have arrived.
constexpr int SettleMs = 250;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

DisplaySimOptions fastOptions()
{
    DisplaySimOptions options;
    options.fast = true;
    return options;
}

// A simulator on a free port with one client connected and its opening
// negotiation received.
struct Rig
{
    explicit Rig(const DisplaySimOptions &options) : simulator(options)
    {
        QObject::connect(&simulator, &DisplaySimulator::logLine,
                         [this](const QString &line) { log << line; });
    }

    bool start() { return simulator.listen(QHostAddress::LocalHost, 0) && connectClient(client); }

    bool connectClient(TelnetTestClient &c)
    {
        return c.connectTo(simulator.serverPort()) &&
               QTest::qWaitFor(
                   [&] { return c.negotiations().size() >= 9 && simulator.hasClient(); }, 3000);
    }

    bool logged(const QString &start) const
    {
        return std::any_of(log.begin(), log.end(),
                           [&](const QString &line) { return line.startsWith(start); });
    }

    DisplaySimulator simulator;
    TelnetTestClient client;
    QStringList log;
};

std::unique_ptr<Rig> startRig(const DisplaySimOptions &options = fastOptions())
{
    auto rig = std::make_unique<Rig>(options);
    if (!rig->start())
        return nullptr;
    return rig;
}

} // namespace

class TestDisplaySimulator : public QObject
{
    Q_OBJECT

private slots:
    void opening()
    {
        auto rig = startRig();
        QVERIFY(rig);
        QCOMPARE(rig->client.negotiations().toHex(' '), QByteArray("ff fb 00 ff fd 00 ff fd 2c"));
        QVERIFY(rig->logged("client connected from 127.0.0.1:"));
        QVERIFY(rig->log.contains(
            "display settings: interface RS 485, baud 1200, data 8-bit none, protocol 0 "
            "\"<STX> Data <ETX>\", special function none, address 001, leading characters "
            "00, decimal point none, negative values shown, dimming F (brightest), timeout "
            "00 s, blank after timeout no"));
        QVERIFY(rig->log.contains(
            "display brightness: 001 006 008 012 016 022 039 050 070 090 110 160 190 200 "
            "210 240"));
    }

    void negotiation_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("client takes binary") << hex("FFFB00") << QByteArray();
        QTest::newRow("client accepts our binary") << hex("FFFD00") << QByteArray();
        QTest::newRow("client offers com port") << hex("FFFB2C") << QByteArray();
        QTest::newRow("client refuses binary") << hex("FFFC00") << QByteArray();
        QTest::newRow("client asks us for com port") << hex("FFFD2C") << hex("FFFB2C");
        QTest::newRow("asked twice, answered once") << hex("FFFD2CFFFD2C") << hex("FFFB2C");
        QTest::newRow("echo refused") << hex("FFFD01") << hex("FFFC01");
        QTest::newRow("terminal type refused") << hex("FFFB18") << hex("FFFE18");
        QTest::newRow("go-ahead suppressed") << hex("FFFB03") << hex("FFFD03");
        QTest::newRow("granted, then withdrawn") << hex("FFFD03FFFE03") << hex("FFFB03FFFC03");
        QTest::newRow("pyserial's opening")
            << hex("FFFD01FFFB03FFFD03FFFD2CFFFB2C") << hex("FFFC01FFFD03FFFB03FFFB2C");
    }
    void negotiation()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, answer);
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.clearTelnet();
        rig->client.sendRaw(sent);
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.negotiations().toHex(' '), answer.toHex(' '));
        QVERIFY(rig->client.data().isEmpty());
    }

    void portCommands_data()
    {
        QTest::addColumn<quint8>("command");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("line");
        QTest::newRow("baud 300") << quint8(1) << hex("0000012C") << hex("2C650000012C")
                                  << "300 baud 8N2";
        QTest::newRow("baud 1200")
            << quint8(1) << hex("000004B0") << hex("2C65000004B0") << "1200 baud 8N2";
        QTest::newRow("baud asked")
            << quint8(1) << hex("00000000") << hex("2C650000012C") << "300 baud 8N2";
        QTest::newRow("baud holding 0xFF")
            << quint8(1) << hex("0001C1FF") << hex("2C650001C1FF") << "115199 baud 8N2";
        QTest::newRow("7 data bits") << quint8(2) << hex("07") << hex("2C6607") << "300 baud 7N2";
        QTest::newRow("9 data bits refused")
            << quint8(2) << hex("09") << hex("2C6608") << "300 baud 8N2";
        QTest::newRow("data bits asked")
            << quint8(2) << hex("00") << hex("2C6608") << "300 baud 8N2";
        QTest::newRow("even parity") << quint8(3) << hex("03") << hex("2C6703") << "300 baud 8E2";
        QTest::newRow("parity 6 refused")
            << quint8(3) << hex("06") << hex("2C6701") << "300 baud 8N2";
        QTest::newRow("one stop bit") << quint8(4) << hex("01") << hex("2C6801") << "300 baud 8N1";
        QTest::newRow("one and a half stop bits")
            << quint8(4) << hex("03") << hex("2C6803") << "300 baud 8N1.5";
        QTest::newRow("no flow control")
            << quint8(5) << hex("01") << hex("2C6901") << "300 baud 8N2";
        QTest::newRow("hardware flow control refused")
            << quint8(5) << hex("03") << hex("2C6901") << "300 baud 8N2";
        QTest::newRow("flow control asked")
            << quint8(5) << hex("00") << hex("2C6901") << "300 baud 8N2";
        QTest::newRow("rts asked") << quint8(5) << hex("0A") << hex("2C690C") << "300 baud 8N2";
        QTest::newRow("dtr on") << quint8(5) << hex("08") << hex("2C6908") << "300 baud 8N2";
        QTest::newRow("break asked") << quint8(5) << hex("04") << hex("2C6906") << "300 baud 8N2";
        QTest::newRow("inbound flow asked")
            << quint8(5) << hex("0D") << hex("2C690E") << "300 baud 8N2";
        QTest::newRow("modem state poll")
            << quint8(7) << QByteArray() << hex("2C6B00") << "300 baud 8N2";
        QTest::newRow("line state mask")
            << quint8(10) << hex("FF") << hex("2C6EFF") << "300 baud 8N2";
        QTest::newRow("purge both") << quint8(12) << hex("03") << hex("2C7003") << "300 baud 8N2";
    }
    void portCommands()
    {
        QFETCH(quint8, command);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, reply);
        QFETCH(QString, line);
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendComPort(command, value);
        QVERIFY(rig->client.waitForSubnegotiations(1, 2000));
        QTest::qWait(50);
        QCOMPARE(rig->client.subnegotiations().size(), 1);
        QCOMPARE(rig->client.subnegotiations().first().toHex(' '), reply.toHex(' '));
        QCOMPARE(rig->simulator.lineSettings().text(), line);
        QVERIFY(rig->client.data().isEmpty());
        if (line != "300 baud 8N2")
            QVERIFY(
                rig->log.contains("line: " + line + " (the display itself runs at 300 baud 8N2)"));
    }

    void rtsRiseGivesAck()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(1, 2000));
        QCOMPARE(rig->client.data(), Ack);
        QCOMPARE(rig->client.subnegotiations().value(0).toHex(' '), QByteArray("2c 69 0b"));
        QVERIFY(rig->simulator.rts());

        rig->client.setRts(true);
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data(), Ack);

        rig->client.setRts(false);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(2, 2000));
        QCOMPARE(rig->client.data(), Ack + Ack);
    }

    void enqEveryHalfSecondWhileRtsHigh()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(4, 3000));
        QCOMPARE(rig->client.data(), Ack + Enq + Enq + Enq);
        const QList<qint64> times = rig->client.dataTimes();
        for (int i = 1; i < times.size(); ++i) {
            const qint64 gap = times[i] - times[i - 1];
            QVERIFY2(gap >= 300 && gap <= 800, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
        }
        rig->client.setRts(false);
        rig->client.clearData();
        QTest::qWait(700);
        QCOMPARE(rig->client.data(), QByteArray());
    }

    void echo_data()
    {
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<QByteArray>("readRequest");
        QTest::addColumn<QString>("shown");
        QTest::newRow("settings") << Example << ReadSettings
                                  << "display settings: interface RS 232, baud 9600, data 8-bit "
                                     "none, protocol 3 \"Data <CR>\", special "
                                     "function 2, address 012, leading characters 03, decimal "
                                     "point position 2, negative values shown, "
                                     "dimming A, timeout 10 s, blank after timeout yes";
        QTest::newRow("brightness defaults")
            << DisplayDevice::defaultBrightnessRecord() << ReadBrightness
            << "display brightness: 001 006 008 012 016 022 039 050 070 090 "
               "110 160 190 200 210 240";
        QTest::newRow("brightness holding 0xFF, ESC, ENQ and NUL")
            << OddBrightness << ReadBrightness
            << "display brightness: 001 255 027 005 000 255 022 039 050 070 070 090 110 160 190 "
               "255";
    }
    void echo()
    {
        QFETCH(QByteArray, telegram);
        QFETCH(QByteArray, readRequest);
        QFETCH(QString, shown);
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendData(telegram);
        QVERIFY(rig->client.waitForData(telegram.size(), 2000));
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data().toHex(' '), telegram.toHex(' '));
        QVERIFY2(rig->log.contains(shown), qPrintable(rig->log.join('\n')));

        rig->client.clearData();
        rig->client.sendData(readRequest);
        QVERIFY(rig->client.waitForData(telegram.size(), 2000));
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data().toHex(' '), telegram.toHex(' '));
    }

    void readRequests_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("settings") << ReadSettings << DisplayDevice::defaultSettingsRecord();
        QTest::newRow("brightness") << ReadBrightness << DisplayDevice::defaultBrightnessRecord();
    }
    void readRequests()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, record);
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendData(request);
        QVERIFY(rig->client.waitForData(record.size(), 2000));
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data().toHex(' '), record.toHex(' '));
    }

    void telegramArrivingByteByByte()
    {
        auto rig = startRig();
        QVERIFY(rig);
        for (const char c : Example) {
            rig->client.sendData(QByteArray(1, c));
            QTest::qWait(15);
        }
        QVERIFY(rig->client.waitForData(Example.size(), 2000));
        QCOMPARE(rig->client.data().toHex(' '), Example.toHex(' '));
    }

    void stalledTelegramIsDropped()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendData(Example.left(12));
        QTest::qWait(700);
        QVERIFY(rig->client.data().isEmpty());
        QVERIFY(rig->logged("rx: dropped incomplete record (no byte for 500 ms): 1B 5A 45 53 31 42 "
                            "33 43 30 50 4F 41"));
        QCOMPARE(rig->simulator.settingsRecord(), DisplayDevice::defaultSettingsRecord());

        rig->client.sendData(Example);
        QVERIFY(rig->client.waitForData(Example.size(), 2000));
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data().toHex(' '), Example.toHex(' '));
    }

    void userStringIsIgnored()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendData(hex("4142431B4331"));
        QTest::qWait(700);
        QVERIFY(rig->client.data().isEmpty());
        QVERIFY(rig->log.contains("rx: ignored 41 42 43"));
        QVERIFY(rig->log.contains("rx: ignored 1B 43 31"));
        QCOMPARE(rig->simulator.settingsRecord(), DisplayDevice::defaultSettingsRecord());
    }

    void echoFaults_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<QByteArray>("echo");
        DisplaySimOptions options = fastOptions();
        options.corruptEchoOffset = 5;
        QByteArray changed = Example;
        changed[5] = 0x42 ^ 0x01;
        QTest::newRow("corrupt offset 5") << options << Example << changed;
        options.corruptEchoOffset = 0;
        changed = Example;
        changed[0] = 0x1A;
        QTest::newRow("corrupt offset 0") << options << Example << changed;
        options.corruptEchoOffset = 20;
        changed = DisplayDevice::defaultBrightnessRecord();
        changed[20] = 0x0B;
        QTest::newRow("corrupt brightness tail")
            << options << DisplayDevice::defaultBrightnessRecord() << changed;
        options.corruptEchoOffset = 25;
        QTest::newRow("corrupt offset past the brightness echo")
            << options << DisplayDevice::defaultBrightnessRecord()
            << DisplayDevice::defaultBrightnessRecord();

        options = fastOptions();
        options.enqInEcho = true;
        QTest::newRow("enq in settings echo")
            << options << Example << Example.left(15) + Enq + Example.mid(15);
        QTest::newRow("enq in brightness echo")
            << options << OddBrightness << OddBrightness.left(10) + Enq + OddBrightness.mid(10);

        options = fastOptions();
        options.silent = true;
        QTest::newRow("silent") << options << Example << QByteArray();
    }
    void echoFaults()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(QByteArray, telegram);
        QFETCH(QByteArray, echo);
        auto rig = startRig(options);
        QVERIFY(rig);
        rig->client.sendData(telegram);
        if (!echo.isEmpty())
            QVERIFY(rig->client.waitForData(echo.size(), 2000));
        QTest::qWait(SettleMs);
        QCOMPARE(rig->client.data().toHex(' '), echo.toHex(' '));
        // The display adopts what it received, not what it sent back.
        const QByteArray held = telegram.size() == 30 ? rig->simulator.settingsRecord()
                                                      : rig->simulator.brightnessRecord();
        QCOMPARE(held.toHex(' '), telegram.toHex(' '));
    }

    void rtsAnswerFaults_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("ACK") << fastOptions() << Ack;
        DisplaySimOptions options = fastOptions();
        options.rtsAnswer = 0x15;
        QTest::newRow("NAK") << options << hex("15");
        options.rtsAnswer = 0x05;
        QTest::newRow("ENQ") << options << Enq;
        options = fastOptions();
        options.silent = true;
        QTest::newRow("silent") << options << QByteArray();
    }
    void rtsAnswerFaults()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(QByteArray, answer);
        auto rig = startRig(options);
        QVERIFY(rig);
        rig->client.setRts(true);
        // Long enough for the first ENQ; only the answer may come before it.
        QTest::qWait(options.silent ? 700 : 300);
        QCOMPARE(rig->client.data().toHex(' '), answer.toHex(' '));
        QVERIFY(rig->client.waitForSubnegotiations(1, 1000));
        QCOMPARE(rig->client.subnegotiations().first().toHex(' '), QByteArray("2c 69 0b"));
    }

    void enqStopsAfterConfiguredTime()
    {
        DisplaySimOptions options = fastOptions();
        options.stopEnqAfter = 700ms;
        auto rig = startRig(options);
        QVERIFY(rig);
        rig->client.setRts(true);
        QTest::qWait(1700);
        QCOMPARE(rig->client.data(), Ack + Enq);
        QVERIFY(rig->logged("enq: stopped after 700 ms of RTS high"));

        // A new rise of RTS starts the count again.
        rig->client.clearData();
        rig->client.setRts(false);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(2, 1500));
        QCOMPARE(rig->client.data(), Ack + Enq);
    }

    void connectionDroppedAfterConfiguredTime()
    {
        DisplaySimOptions options = fastOptions();
        options.dropAfter = 400ms;
        auto rig = startRig(options);
        QVERIFY(rig);
        QVERIFY(rig->client.waitForDisconnected(2000));
        QVERIFY2(rig->client.elapsedMs() >= 350,
                 qPrintable(QString::number(rig->client.elapsedMs())));
        QVERIFY(!rig->simulator.hasClient());
        QVERIFY(rig->logged("client disconnected: dropped after 400 ms (--drop-after)"));

        // The simulator listens on and serves the next client.
        TelnetTestClient next;
        QVERIFY(rig->connectClient(next));
        next.setRts(true);
        QVERIFY(next.waitForData(1, 2000));
        QCOMPARE(next.data(), Ack);
        QVERIFY(next.waitForDisconnected(2000));
    }

    void newConnectionReplacesCurrent()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(1, 2000));

        TelnetTestClient second;
        QVERIFY(rig->connectClient(second));
        QVERIFY(rig->client.waitForDisconnected(2000));
        QVERIFY(rig->logged("client disconnected: replaced by a new connection"));
        QVERIFY(!rig->simulator.rts());
        second.setRts(true);
        QVERIFY(second.waitForData(1, 2000));
        QCOMPARE(second.data(), Ack);
    }

    void clientLeavingResetsTheLine()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendData(Example);
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(31, 2000));
        rig->client.disconnectFromServer();
        QVERIFY(QTest::qWaitFor([&] { return !rig->simulator.hasClient(); }, 2000));
        QVERIFY(!rig->simulator.rts());

        TelnetTestClient next;
        QVERIFY(rig->connectClient(next));
        next.setRts(true);
        QVERIFY(next.waitForData(1, 2000));
        QCOMPARE(next.data(), Ack);
        // The records outlive the connection.
        next.clearData();
        next.sendData(ReadSettings);
        QVERIFY(next.waitForData(30, 2000));
        QCOMPARE(next.data().toHex(' '), Example.toHex(' '));
    }

    void flowControlSuspendHoldsOutput()
    {
        auto rig = startRig();
        QVERIFY(rig);
        rig->client.sendComPort(8, {});
        rig->client.setRts(true);
        QTest::qWait(SettleMs);
        QVERIFY(rig->client.data().isEmpty());
        rig->client.sendComPort(9, {});
        QVERIFY(rig->client.waitForData(1, 2000));
        QCOMPARE(rig->client.data(), Ack);
    }

    void purgeDropsWhatIsStillOnTheLine()
    {
        auto rig = startRig(DisplaySimOptions{});
        QVERIFY(rig);
        // At 300 baud the ACK is still on the line when the purge arrives.
        rig->client.sendRaw(hex("FFFA2C050BFFF0FFFA2C0C01FFF0"));
        QTest::qWait(400);
        QCOMPARE(rig->client.data(), QByteArray());
        QVERIFY(rig->client.waitForData(1, 1000));
        QCOMPARE(rig->client.data(), Enq);
    }

    void enqStaysOutOfAnswers()
    {
        auto rig = startRig(DisplaySimOptions{});
        QVERIFY(rig);
        // At 1200 baud the telegram and its echo take 550 ms, so ENQ ticks fall inside.
        rig->client.sendRaw(hex("FFFA2C01000004B0FFF0"));
        rig->client.setRts(true);
        QVERIFY(rig->client.waitForData(1, 2000));
        for (int i = 0; i < 3; ++i) {
            rig->client.clearData();
            rig->client.sendData(Example);
            QVERIFY(QTest::qWaitFor([&] { return rig->client.data().contains(Example.right(5)); },
                                    3000));
            QByteArray reply = rig->client.data();
            while (reply.startsWith(Enq))
                reply.remove(0, 1);
            QCOMPARE(reply.toHex(' '), Example.toHex(' '));
        }
    }

    void pacing_data()
    {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("replyLength");
        QTest::addColumn<double>("characterMs");
        QTest::newRow("300 baud 8N2") << QByteArray() << ReadBrightness << 21 << 11 * 1000.0 / 300;
        QTest::newRow("1200 baud 8N2")
            << hex("FFFA2C01000004B0FFF0") << ReadSettings << 30 << 11 * 1000.0 / 1200;
        QTest::newRow("2400 baud 7E1")
            << hex("FFFA2C0100000960FFF0FFFA2C0207FFF0FFFA2C0303FFF0FFFA2C0401FFF0") << ReadSettings
            << 30 << 10 * 1000.0 / 2400;
    }
    void pacing()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, request);
        QFETCH(int, replyLength);
        QFETCH(double, characterMs);
        auto rig = startRig(DisplaySimOptions{});
        QVERIFY(rig);
        rig->client.sendRaw(setup);
        QTest::qWait(50);
        const qint64 sent = rig->client.elapsedMs();
        rig->client.sendData(request);
        QVERIFY(rig->client.waitForData(replyLength, 5000));
        const QList<qint64> times = rig->client.dataTimes();
        // The request crosses the line, then every reply character takes its own time.
        const double firstMs = (request.size() + 1) * characterMs;
        const double spreadMs = (replyLength - 1) * characterMs;
        QVERIFY2(times.first() - sent >= 0.9 * firstMs - 1,
                 qPrintable(QStringLiteral("first byte after %1 ms").arg(times.first() - sent)));
        QVERIFY2(times.last() - times.first() >= 0.9 * spreadMs - 1,
                 qPrintable(
                     QStringLiteral("reply spread over %1 ms").arg(times.last() - times.first())));
    }
};

QTEST_GUILESS_MAIN(TestDisplaySimulator)
#include "tst_displaysimulator.moc"
