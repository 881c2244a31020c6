// DisplayLink without a window, against the simulated display over RFC 2217:
// paced at 300 baud and fast, and with the display's fault switches; and a
// port server that never answers the open.
#include "DisplayLink.h"
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
    }
};

QTEST_GUILESS_MAIN(TestDisplayLinkSimulator)
#include "tst_displaylink_sim.moc"
