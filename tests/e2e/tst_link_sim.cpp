#include "DisplaySimProcess.h"
#include "FakeComPortServer.h"
#include "FormFixture.h"
#include "MessageRow.h"
#include "RadioButtons.h"
#include "TVaComm.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

// The window against pantrix-display-sim on an RFC 2217 port, with the line
// paced at 300 baud as a real display's is. What the display received is read
// from the simulator's log.
class TestLinkSimulator : public QObject
{
    Q_OBJECT

    static QString row(int r) { return FormFixture::germanMessage(r); }

    // Starts the window with "COM 5" mapped to the simulator and connects.
    static void connectTo(FormFixture &f, DisplaySimProcess &sim)
    {
        QVERIFY(sim.isListening());
        qputenv("PANTRIX_COM5", sim.address().toLocal8Bit());
        f.show();
        f.ui().ComboBox2->chooseAsUser(4);
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
    }

    template <std::size_t N> static QString hex(const std::array<std::uint8_t, N> &b)
    {
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(b.data()), int(N)).toHex(' ').toUpper());
    }

private slots:
    void cleanup() { qunsetenv("PANTRIX_COM5"); }

    void connectAndKeepTheConnection()
    {
        DisplaySimProcess sim({});
        FormFixture f;
        connectTo(f, sim);
        QCOMPARE(f.form->statusText(), row(MessageRow::DeviceConnected));
        QVERIFY(f.form->connected());
        QCOMPARE(sim.count("rts: high"), 1);
        // The display's ENQ every 500 ms keeps the connection through several ticks.
        QTest::qWait(3200);
        QVERIFY(f.form->connected());
        QTest::mouseClick(f.ui().Button10, Qt::LeftButton);
        QVERIFY(sim.waitForLines("rts: low"));
        QVERIFY(!f.form->VaComm1->IsOpen());
    }

    void connectOutcomes_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::addColumn<int>("statusRow");
        QTest::newRow("NAK") << QStringList{"--answer", "0x15"}
                             << int(MessageRow::AckTransferError);
        QTest::newRow("silent") << QStringList{"--silent"} << int(MessageRow::AckTimeout);
    }
    void connectOutcomes()
    {
        QFETCH(QStringList, switches);
        QFETCH(int, statusRow);
        DisplaySimProcess sim(switches);
        FormFixture f;
        connectTo(f, sim);
        QCOMPARE(f.form->statusText(), row(statusRow));
        QVERIFY(!f.form->connected());
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(sim.waitForLines("rts: low"));
    }

    void displayThatFallsSilentIsDropped()
    {
        DisplaySimProcess sim({"--stop-enq-after", "1"});
        FormFixture f;
        connectTo(f, sim);
        QVERIFY(f.form->connected());
        QTRY_VERIFY_WITH_TIMEOUT(!f.form->connected(), 4000);
        QCOMPARE(f.form->statusText(), row(MessageRow::ContactLost));
        QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet1);
    }

    void vanishingServerIsALostContact()
    {
        DisplaySimProcess sim({});
        FormFixture f;
        connectTo(f, sim);
        QVERIFY(f.form->connected());
        RadioButtons::setChecked(f.ui().RadioButton4, false); // only the loss itself reports
        sim.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form->connected(), 2000);
        QCOMPARE(f.form->statusText(), row(MessageRow::ContactLost));
        QVERIFY(!f.form->VaComm1->IsOpen());
    }

    void faultyEchoes_data()
    {
        QTest::addColumn<QStringList>("switches");
        QTest::newRow("changed echo byte") << QStringList{"--corrupt-echo", "13"};
        QTest::newRow("ENQ inside the echo") << QStringList{"--enq-in-echo"};
    }
    void faultyEchoes()
    {
        QFETCH(QStringList, switches);
        DisplaySimProcess sim(switches);
        FormFixture f;
        connectTo(f, sim);
        QVERIFY(f.form->connected());
        QTest::mouseClick(f.ui().Button6, Qt::LeftButton);
        QCOMPARE(f.dialogs.warnings, QStringList{row(MessageRow::TransferError)});
    }

    void sendAndReadBothTelegrams()
    {
        DisplaySimProcess sim({});
        FormFixture f;
        connectTo(f, sim);
        QVERIFY(f.form->connected());
        auto &ui = f.ui();
        ui.RadioGroup2->setItemIndex(4);
        ui.MaskEdit1->setText("123");
        QTest::mouseClick(ui.Button6, Qt::LeftButton); // 1.1 s out and 1.1 s back at 300 baud
        QVERIFY(f.dialogs.warnings.isEmpty());
        QVERIFY(sim.log().contains("rx: settings telegram " + hex(f.form->settingsTelegram())));

        ui.RadioGroup2->setItemIndex(0);
        ui.MaskEdit1->setText("999");
        QTest::mouseClick(ui.Button11, Qt::LeftButton);
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(ui.RadioGroup2->itemIndex(), 4);
        QCOMPARE(ui.MaskEdit1->text(), QStringLiteral("123"));

        ui.TabSheet3->setEnabled(true);
        ui.MaskEdit17->setText("255");
        QTest::mouseClick(ui.Button8, Qt::LeftButton);
        QVERIFY(f.dialogs.warnings.isEmpty());
        QVERIFY(sim.log().contains("rx: brightness telegram " + hex(f.form->brightnessTelegram())));
        ui.MaskEdit17->setText("100");
        QTest::mouseClick(ui.Button7, Qt::LeftButton);
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(ui.MaskEdit17->text(), QStringLiteral("255"));
        QVERIFY(f.form->connected());
    }

    // A port server that never answers: closing the window ends the open at
    // once, the window shows the failed open and then closes.
    void closingWhileTheOpenWaits()
    {
        FakeComPortServer silent{QByteArray()};
        qputenv("PANTRIX_COM5", silent.address().toLocal8Bit());
        FormFixture f;
        f.show();
        f.ui().ComboBox2->chooseAsUser(4);
        bool buttonEnabledDuringOpen = true;
        QTimer::singleShot(300, f.form.get(), [&] {
            buttonEnabledDuringOpen = f.ui().Button9->isEnabled();
            f.form->close();
        });
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
        // Well before the server's 5 s would have run out.
        QVERIFY2(timer.elapsed() < 4500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(!buttonEnabledDuringOpen);
        QVERIFY(f.form->statusText().startsWith(row(MessageRow::CannotOpenPort)));
        QVERIFY(!f.form->VaComm1->IsOpen());
        QTRY_VERIFY_WITH_TIMEOUT(!f.form->isVisible(), 2000);
    }

    void userStringReachesTheDisplay()
    {
        DisplaySimProcess sim({});
        FormFixture f;
        connectTo(f, sim);
        QVERIFY(f.form->connected());
        f.ui().Edit1->setText("AB#067");
        QTest::mouseClick(f.ui().Button12, Qt::LeftButton);
        QVERIFY(sim.waitForLines("rx: ignored 41 42 43"));
    }
};

QTEST_MAIN(TestLinkSimulator)
#include "tst_link_sim.moc"
