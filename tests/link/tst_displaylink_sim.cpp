// DisplayLink without a window, against the simulated display over RFC 2217:
// paced at 300 baud and fast, and with the display's fault switches; and a
// port server that never answers the open; what the line monitor records.
#include "DisplayLink.h"
#include "LineMonitor.h"
#include "SimulatorThread.h"
#include "TVaComm.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <chrono>

using namespace std::chrono_literals;

namespace {

const QByteArray Settings =
    QByteArray::fromHex("1B5A45533142334330504F413031325630334B324E30444154313031"
                        "0D0A");
const QByteArray Brightness = QByteArray::fromHex("1B4854FF0102030405060708090A0B0C0D0E0F0D0A");

DisplaySimOptions fastDisplay()
{
    DisplaySimOptions options;
    options.fast = true;
    return options;
}

// The monitor's entries as "direction|meaning|hex", without the display's
// alive signals: when an ENQ comes depends on the clock, not on the link.
QStringList traffic(const LineMonitor &monitor, const QString &port)
{
    QStringList lines;
    for (const LineMonitor::Entry &entry : monitor.entries()) {
        if (entry.port != port || !entry.time.isValid())
            return {QStringLiteral("bad entry: ") + LineMonitor::format(entry)};
        const bool onlyEnq = !entry.bytes.isEmpty() &&
                             entry.bytes.count('\x05') == entry.bytes.size() &&
                             (entry.meaning == QLatin1String("alive signal") ||
                              entry.meaning == QLatin1String("stale input, discarded"));
        if (!onlyEnq)
            lines << LineMonitor::directionName(entry.direction) + u'|' + entry.meaning + u'|' +
                         LineMonitor::hexOf(entry.bytes);
    }
    return lines;
}

QString hex(const QByteArray &bytes)
{
    return LineMonitor::hexOf(bytes);
}

} // namespace

class TestDisplayLinkSimulator : public QObject
{
    Q_OBJECT

private slots:
    void connectOutcomes_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<ConnectOutcome::Result>("result");
        QTest::addColumn<int>("answer");
        DisplaySimOptions wrong = fastDisplay();
        wrong.rtsAnswer = 0x15;
        DisplaySimOptions silent = fastDisplay();
        silent.silent = true;
        QTest::newRow("paced") << DisplaySimOptions() << ConnectOutcome::Result::Connected << 0;
        QTest::newRow("fast") << fastDisplay() << ConnectOutcome::Result::Connected << 0;
        QTest::newRow("wrong answer") << wrong << ConnectOutcome::Result::WrongAnswer << 0x15;
        QTest::newRow("silent") << silent << ConnectOutcome::Result::NoAck << 0;
    }
    void connectOutcomes()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(ConnectOutcome::Result, result);
        QFETCH(int, answer);
        SimulatorThread sim(options);
        QVERIFY(sim.isListening());
        DisplayLink link;
        link.setPortName(sim.address());
        const ConnectOutcome outcome = link.connectDisplay();
        QCOMPARE(outcome.result, result);
        QCOMPARE(int(outcome.answer), answer);
        QVERIFY(sim.waitForLine("rts: high"));
        if (result == ConnectOutcome::Result::Connected) {
            QVERIFY(link.port()->IsOpen());
            link.close();
        }
        // Every connect ends with RTS low, failed or closed.
        QVERIFY(sim.waitForLine("rts: low"));
        QVERIFY(!link.port()->IsOpen());
    }

    void cancelWhileTheOpenWaits()
    {
        // A server that takes the connection and never says a word.
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(silent.serverPort());
        DisplayLink link;
        link.setPortName(address);
        bool waitingMeanwhile = false;
        QTimer::singleShot(300, &link, [&] {
            waitingMeanwhile = link.isWaiting() && link.isBusy();
            link.cancel();
        });
        const ConnectOutcome outcome = link.connectDisplay();
        QVERIFY(waitingMeanwhile); // the open waits in the event loop
        QCOMPARE(outcome.result, ConnectOutcome::Result::OpenFailed);
        QVERIFY2(outcome.reason.contains("Operation canceled"), qPrintable(outcome.reason));
        QVERIFY(outcome.explanation.contains(address));
        QVERIFY(!link.port()->IsOpen());
        QVERIFY(!link.isWaiting());
    }

    void sendAndReadBothTelegrams_data()
    {
        QTest::addColumn<bool>("fast");
        QTest::newRow("paced at 300 baud") << false;
        QTest::newRow("fast") << true;
    }
    void sendAndReadBothTelegrams()
    {
        QFETCH(bool, fast);
        DisplaySimOptions options;
        options.fast = fast;
        SimulatorThread sim(options);
        DisplayLink link;
        link.setPortName(sim.address());
        QVERIFY(link.connectDisplay().connected());
        for (const QByteArray &telegram : {Settings, Brightness}) {
            const SendOutcome sent = link.sendTelegram(telegram);
            QCOMPARE(sent.result, SendOutcome::Result::Echoed);
            QCOMPARE(sent.received, telegram);
        }
        const ReadOutcome settings = link.readTelegram(DisplayLink::Telegram::Settings);
        QCOMPARE(settings.result, ReadOutcome::Result::Done);
        QCOMPARE(settings.bytes.toHex(' '), Settings.toHex(' '));
        const ReadOutcome brightness = link.readTelegram(DisplayLink::Telegram::Brightness);
        QCOMPARE(brightness.result, ReadOutcome::Result::Done);
        QCOMPARE(brightness.bytes.toHex(' '), Brightness.toHex(' '));
        QVERIFY(sim.log().contains("rx: read-brightness request"));
        // ENQ every 500 ms kept the connection through all of it.
        QVERIFY(link.isConnected());
    }

    void faultyEchoes_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<QByteArray>("received");
        DisplaySimOptions corrupt = fastDisplay();
        corrupt.corruptEchoOffset = 13;
        QByteArray changed = Settings;
        changed[13] = char(changed[13] ^ 1);
        DisplaySimOptions enq = fastDisplay();
        enq.enqInEcho = true;
        QTest::newRow("changed echo byte") << corrupt << changed;
        QTest::newRow("ENQ inside the echo")
            << enq << Settings.left(15) + QByteArray(1, 0x05) + Settings.mid(15, 14);
    }
    void faultyEchoes()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(QByteArray, received);
        SimulatorThread sim(options);
        DisplayLink link;
        link.setPortName(sim.address());
        QVERIFY(link.connectDisplay().connected());
        const SendOutcome outcome = link.sendTelegram(Settings);
        QCOMPARE(outcome.result, SendOutcome::Result::EchoDiffers);
        QCOMPARE(outcome.received.toHex(' '), received.toHex(' '));
    }

    // Every operation as the monitor records it, in order, bytes exact.
    void lineMonitorRecordsEachOperation_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QStringList>("recorded"); // between the connect and the close
        const QStringList connected{"line|port opened|", "line|RTS high|", "in|ACK|06",
                                    "note|connected|"};
        const QStringList closed{"line|RTS low|", "line|port closed|"};
        DisplaySimOptions corrupt = fastDisplay();
        corrupt.corruptEchoOffset = 13;
        QByteArray changed = Settings;
        changed[13] = char(changed[13] ^ 1);
        QByteArray withZero = Brightness;
        withZero[5] = 0;
        DisplaySimOptions silent = fastDisplay();
        silent.silent = true;
        DisplaySimOptions wrong = fastDisplay();
        wrong.rtsAnswer = 0x15;

        QTest::newRow("connect and close") << fastDisplay() << "" << connected + closed;
        QTest::newRow("send settings, echo matches")
            << fastDisplay() << "send settings"
            << connected +
                   QStringList{"out|settings telegram|" + hex(Settings),
                               "in|settings echo|" + hex(Settings), "note|echo matches|"} +
                   closed;
        QTest::newRow("send settings, echo differs")
            << corrupt << "send settings"
            << connected +
                   QStringList{"out|settings telegram|" + hex(Settings),
                               "in|settings echo|" + hex(changed),
                               "note|echo differs at byte 13: sent 31, came 30|"} +
                   closed;
        QTest::newRow("read brightness")
            << fastDisplay() << "send and read brightness"
            << connected +
                   QStringList{"out|brightness telegram|" + hex(Brightness),
                               "in|brightness echo|" + hex(Brightness),
                               "note|echo matches|",
                               "out|read-brightness request|1B 53 74 0D 0A",
                               "in|brightness reply|" + hex(Brightness),
                               "note|reply complete|"} +
                   closed;
        QTest::newRow("user string, ESC, ESC C")
            << fastDisplay() << "user strings"
            << connected +
                   QStringList{"out|user string|41 23 1B 43 0D", "out|ESC|1B", "out|ESC C|1B 43",
                               "note|user string not sent: a \"#\" is not followed by three "
                               "digits|"} +
                   closed;
        // Without ENQ, which would take the missing byte's place, and without supervision.
        DisplaySimOptions noEnq = fastDisplay();
        noEnq.stopEnqAfter = std::chrono::milliseconds(0);
        QTest::newRow("time-out: a zero byte does not come back")
            << noEnq << "send brightness with a zero byte"
            << connected +
                   QStringList{"out|brightness telegram|" + hex(withZero),
                               "in|brightness echo|" + hex(withZero.left(5) + withZero.mid(6)),
                               "note|time-out: 20 of 21 bytes came within 3000 ms|"} +
                   closed;
        QTest::newRow("silent display")
            << silent << "none, connect fails"
            << QStringList{"line|port opened|", "line|RTS high|", "note|no ACK within 3000 ms|"} +
                   closed;
        QTest::newRow("wrong answer to RTS")
            << wrong << "none, connect fails"
            << QStringList{"line|port opened|", "line|RTS high|", "in|answer to RTS, not ACK|15",
                           "note|wrong answer to RTS|"} +
                   closed;
    }
    void lineMonitorRecordsEachOperation()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(QString, operation);
        QFETCH(QStringList, recorded);
        SimulatorThread sim(options);
        DisplayLink link;
        link.setPortName(sim.address());
        link.setSupervisionCondition([&options] { return !options.stopEnqAfter; });
        LineMonitor monitor;
        link.setLineMonitor(&monitor);
        const bool connected = link.connectDisplay().connected();
        QCOMPARE(connected, !operation.startsWith("none"));
        if (operation == "send settings") {
            link.sendTelegram(Settings);
        } else if (operation == "send and read brightness") {
            QCOMPARE(link.sendTelegram(Brightness).result, SendOutcome::Result::Echoed);
            QCOMPARE(link.readTelegram(DisplayLink::Telegram::Brightness).result,
                     ReadOutcome::Result::Done);
        } else if (operation == "user strings") {
            QCOMPARE(link.sendUserString("A#035#027C#013"), UserStringOutcome::Sent);
            link.sendEscape();
            link.sendEscapeC();
            QCOMPARE(link.sendUserString("#12"), UserStringOutcome::BadEscape);
        } else if (operation == "send brightness with a zero byte") {
            QByteArray withZero = Brightness;
            withZero[5] = 0;
            QCOMPARE(link.sendTelegram(withZero).result, SendOutcome::Result::TimedOut);
        }
        link.close();
        QCOMPARE(traffic(monitor, sim.address()), recorded);
        // Detached, the link records nothing more.
        const qsizetype count = monitor.count();
        link.setLineMonitor(nullptr);
        link.connectDisplay();
        link.close();
        QCOMPARE(monitor.count(), count);
    }

    void connectionEnds_data()
    {
        QTest::addColumn<DisplaySimOptions>("options");
        QTest::addColumn<bool>("whileSending");
        QTest::addColumn<bool>("contactLost"); // else the port was lost
        DisplaySimOptions enqStops = fastDisplay();
        enqStops.stopEnqAfter = 1000ms;
        DisplaySimOptions drops = fastDisplay();
        drops.dropAfter = 1500ms;
        DisplaySimOptions dropsPaced;
        dropsPaced.dropAfter = 1500ms;
        QTest::newRow("ENQ stops") << enqStops << false << true;
        QTest::newRow("connection dropped") << drops << false << false;
        QTest::newRow("connection dropped during a paced send") << dropsPaced << true << false;
    }
    void connectionEnds()
    {
        QFETCH(DisplaySimOptions, options);
        QFETCH(bool, whileSending);
        QFETCH(bool, contactLost);
        SimulatorThread sim(options);
        DisplayLink link;
        link.setPortName(sim.address());
        // Only the supervision case may end by silence.
        link.setSupervisionCondition([contactLost] { return contactLost; });
        LineMonitor monitor;
        link.setLineMonitor(&monitor);
        int contactLosses = 0, portLosses = 0;
        connect(&link, &DisplayLink::contactLost, [&] { ++contactLosses; });
        connect(&link, &DisplayLink::portLost, [&] { ++portLosses; });
        QVERIFY(link.connectDisplay().connected());
        if (whileSending)
            QCOMPARE(link.sendTelegram(Settings).result, SendOutcome::Result::TimedOut);
        QTRY_VERIFY_WITH_TIMEOUT(!link.isConnected(), 5000);
        QTest::qWait(100);
        QCOMPARE(contactLosses, contactLost ? 1 : 0);
        QCOMPARE(portLosses, contactLost ? 0 : 1);
        QVERIFY(!link.port()->IsOpen());
        // The monitor tells why the link closed, and the close comes last.
        const QStringList recorded = traffic(monitor, sim.address());
        // A port that went away says why: here the server closed the connection.
        const QString reason =
            contactLost ? "note|contact lost: no byte came within 1000 ms|"
                        : "note|the port went away: the COM port server " + sim.address() +
                              " closed the connection (another client may have taken the port, "
                              "or the server stopped)|";
        QVERIFY2(recorded.contains(reason), qPrintable(recorded.join(u'\n')));
        QCOMPARE(recorded.last(), "line|port closed|");
    }
};

QTEST_GUILESS_MAIN(TestDisplayLinkSimulator)
#include "tst_displaylink_sim.moc"
