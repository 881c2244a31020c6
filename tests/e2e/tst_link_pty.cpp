#include "FormFixture.h"
#include "MessageRow.h"
#include "PtyDisplay.h"
#include "RadioButtons.h"
#include "TVaComm.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

// The device link of the window against a display that the test plays byte
// by byte on a pseudo-terminal mapped to "COM 3".
class TestLinkPty : public QObject
{
    Q_OBJECT

    static const QByteArray Settings;
    static const QByteArray Brightness;

    static QString row(int r) { return FormFixture::germanMessage(r); }

    // Starts the window and chooses "COM 3", which the pty serves.
    static void start(FormFixture &f, PtyDisplay &pty)
    {
        QVERIFY(pty.isValid());
        qputenv("PANTRIX_COM3", pty.slavePath().toLocal8Bit());
        f.show();
        f.ui().ComboBox2->chooseAsUser(2);
    }

    // Clicks "COM-Port verbinden" and answers `answer` once RTS is up.
    static void connectWith(FormFixture &f, PtyDisplay &pty, const QByteArray &answer)
    {
        // Answered once RTS is up, however late a loaded machine gets there.
        if (!answer.isEmpty())
            QObject::connect(
                &f.form->link(), &DisplayLink::waitingForAck, &pty,
                [&pty, answer] { pty.send(answer); }, Qt::SingleShotConnection);
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
    }

    static void connectOk(FormFixture &f, PtyDisplay &pty)
    {
        connectWith(f, pty, "\x06");
        QVERIFY(f.form->connected());
    }

    // Echoes every settings and brightness telegram the program sends.
    static void echoTelegrams(PtyDisplay &pty, std::function<QByteArray(QByteArray)> change = {})
    {
        auto pending = std::make_shared<QByteArray>();
        pty.onData = [&pty, pending, change](const QByteArray &data) {
            *pending += data;
            while (!pending->isEmpty()) {
                const int size = pending->startsWith("\x1bZE")   ? 30
                                 : pending->startsWith("\x1bHT") ? 21
                                                                 : 0;
                if (size == 0) {
                    pending->remove(0, 1);
                    continue;
                }
                if (pending->size() < size)
                    return;
                const QByteArray telegram = pending->left(size);
                pending->remove(0, size);
                pty.send(change ? change(telegram) : telegram);
            }
        };
    }

private slots:
    void cleanup() { qunsetenv("PANTRIX_COM3"); }

    void noPortChosen()
    {
        FormFixture f;
        f.show();
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
        QCOMPARE(f.dialogs.warnings, QStringList{"Kein COM-Port ausgewählt"});
        QCOMPARE(f.form->statusText(), QString(33, u' '));
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(f.ui().Button9->isEnabled());
    }

    void portChoiceSetsThePortNumber()
    {
        FormFixture f;
        f.show();
        f.ui().ComboBox2->chooseAsUser(0);
        QCOMPARE(f.form->VaComm1->PortNum(), 1);
        f.ui().ComboBox2->chooseAsUser(15);
        QCOMPARE(f.form->VaComm1->PortNum(), 16);
        qputenv("PANTRIX_COM16", "rfc2217://127.0.0.1:7020");
        f.ui().ComboBox2->chooseAsUser(15);
        QVERIFY2(f.ui().ComboBox2->toolTip().contains("rfc2217://127.0.0.1:7020"),
                 qPrintable(f.ui().ComboBox2->toolTip()));
        qunsetenv("PANTRIX_COM16");
    }

    void connectOutcomes_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("statusRow");
        QTest::addColumn<bool>("connected");
        QTest::newRow("ACK") << QByteArray("\x06") << int(MessageRow::DeviceConnected) << true;
        QTest::newRow("ENQ ENQ ACK")
            << QByteArray("\x05\x05\x06") << int(MessageRow::DeviceConnected) << true;
        QTest::newRow("ACK then ENQ")
            << QByteArray("\x06\x05") << int(MessageRow::DeviceConnected) << true;
        QTest::newRow("NAK") << QByteArray("\x15") << int(MessageRow::AckTransferError) << false;
        QTest::newRow("ENQ then NAK")
            << QByteArray("\x05\x15") << int(MessageRow::AckTransferError) << false;
        QTest::newRow("silence") << QByteArray() << int(MessageRow::AckTimeout) << false;
    }
    void connectOutcomes()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, statusRow);
        QFETCH(bool, connected);
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        QElapsedTimer clock;
        clock.start();
        connectWith(f, pty, answer);
        QCOMPARE(f.form->statusText(), row(statusRow));
        QCOMPARE(f.form->connected(), connected);
        QCOMPARE(f.form->VaComm1->IsOpen(), connected);
        QCOMPARE(f.ui().Button9->isEnabled(), !connected);
        QCOMPARE(f.ui().Button10->isEnabled(), connected);
        QCOMPARE(f.ui().ComboBox2->isEnabled(), !connected);
        QCOMPARE(f.ui().Panel3->isHidden(), connected);
        QCOMPARE(f.form->timer(2)->isActive(), connected);
        QVERIFY(!f.form->timer(1)->isActive());
        if (answer.isEmpty())
            QVERIFY(clock.elapsed() >= 3500); // the pause, then 3000 ms for ACK
        QVERIFY(f.dialogs.warnings.isEmpty());
        QVERIFY(f.dialogs.errors.isEmpty());
    }

    void secondConnectPausesAtMostHalfASecond()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        // Measures from the click to the moment RTS rises (status row 64).
        auto pauseOfConnect = [&] {
            QElapsedTimer clock;
            qint64 pause = -1;
            QTimer probe;
            connect(&probe, &QTimer::timeout, [&] {
                if (pause < 0 && f.form->statusText() == row(MessageRow::WaitingForAck)) {
                    pause = clock.elapsed();
                    pty.send("\x06");
                }
            });
            probe.start(2);
            clock.start();
            QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
            return pause;
        };
        const qint64 first = pauseOfConnect();
        QVERIFY2(first >= 495, qPrintable(QString::number(first)));
        QVERIFY(f.form->connected());
        QTest::mouseClick(f.ui().Button10, Qt::LeftButton);
        // The pause timer kept running: a connect started shortly before one
        // of its ticks waits only for that tick, not a fresh 500 ms. Started
        // about 100 ms before the tick, it leaves a loaded machine room.
        QTimer *pauseTimer = f.form->timer(3);
        QVERIFY(QTest::qWaitFor(
            [pauseTimer] {
                const int left = pauseTimer->remainingTime();
                return left >= 20 && left <= 150;
            },
            10000));
        const qint64 second = pauseOfConnect();
        QVERIFY2(second >= 0 && second < 495, qPrintable(QString::number(second)));
        QVERIFY(f.form->connected());
    }

    void openFailureLeavesDisconnected()
    {
        FormFixture f;
        f.show();
        qputenv("PANTRIX_COM3", "/dev/no-such-adapter");
        f.ui().ComboBox2->chooseAsUser(2);
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
        QCOMPARE(f.form->statusText(), row(MessageRow::CannotOpenPort) + QString(10, u' '));
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(f.dialogs.errors.isEmpty());
        QVERIFY(f.ui().Button9->isEnabled());
    }

    void connectCannotBeEnteredAgain()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        bool checked = false;
        QTimer::singleShot(300, [&] {
            QVERIFY(!f.ui().Button9->isEnabled());
            QVERIFY(!f.ui().Panel3->isEnabled());
            f.form->Button9Click(); // a second entry does nothing
            checked = true;
        });
        connectWith(f, pty, "\x06");
        QVERIFY(checked);
        QVERIFY(f.form->connected());
        QCOMPARE(f.form->statusText(), row(MessageRow::DeviceConnected));
    }

    void closeReturnsToDisconnected()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        f.ui().PageControl1->setActivePage(f.ui().TabSheet2);
        QTest::mouseClick(f.ui().Button10, Qt::LeftButton);
        QVERIFY(!f.form->connected());
        QVERIFY(!f.form->VaComm1->IsOpen());
        QCOMPARE(f.form->statusText(), QString(33, u' '));
        QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet1);
        QVERIFY(!f.ui().Panel3->isHidden());
        QVERIFY(f.ui().Button9->isEnabled());
        QVERIFY(!f.ui().Button10->isEnabled());
        QVERIFY(!f.form->timer(2)->isActive());
    }

    void supervision_data()
    {
        QTest::addColumn<bool>("version2");
        QTest::newRow("Version 2 drops a silent display") << true;
        QTest::newRow("without Version 2 nothing drops") << false;
    }
    void supervision()
    {
        QFETCH(bool, version2);
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        RadioButtons::setChecked(f.ui().RadioButton4, version2);
        QTimer alive;
        connect(&alive, &QTimer::timeout, &pty, [&pty] { pty.send("\x05"); });
        alive.start(500);
        QTest::qWait(3200);
        QVERIFY(f.form->connected());
        alive.stop();
        // Dropped at the second supervision tick after the last byte at the latest.
        QSignalSpy ticks(f.form->timer(2), &QTimer::timeout);
        if (version2) {
            QTRY_VERIFY_WITH_TIMEOUT(!f.form->connected(), 20000);
            QVERIFY2(ticks.size() <= 2, qPrintable(QString::number(ticks.size())));
            QCOMPARE(f.form->statusText(), row(MessageRow::ContactLost));
            QVERIFY(!f.form->VaComm1->IsOpen());
            QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet1);
        } else {
            QTest::qWait(3000);
            QVERIFY(f.form->connected());
        }
    }

    void unplugIsALostContactAtOnce()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        // Supervision off, so only the unplug itself can report the loss.
        RadioButtons::setChecked(f.ui().RadioButton4, false);
        pty.unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!f.form->connected(), 1500);
        QCOMPARE(f.form->statusText(), row(MessageRow::ContactLost));
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(!f.ui().Button10->isEnabled());
    }

    void sendSettings_data()
    {
        // 0 echo, 1 changed byte, 2 silent, 3 ENQ inside, 4 changed last byte
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("warnings");
        QTest::newRow("echoed") << 0 << QStringList();
        QTest::newRow("changed echo byte") << 1 << QStringList{row(MessageRow::TransferError)};
        QTest::newRow("silent") << 2
                                << QStringList{row(MessageRow::ConfirmationTimeout),
                                               row(MessageRow::TransferError)};
        QTest::newRow("ENQ inside the echo") << 3 << QStringList{row(MessageRow::TransferError)};
        QTest::newRow("changed last echo byte") << 4 << QStringList{row(MessageRow::TransferError)};
    }
    void sendSettings()
    {
        QFETCH(int, mode);
        QFETCH(QStringList, warnings);
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        if (mode == 1 || mode == 4)
            echoTelegrams(pty, [mode](QByteArray t) {
                const qsizetype changed = mode == 1 ? 12 : t.size() - 1;
                t[changed] = char(t[changed] ^ 1);
                return t;
            });
        else if (mode == 3)
            echoTelegrams(pty, [](QByteArray t) { return t.left(15) + "\x05" + t.mid(15); });
        else if (mode == 0)
            echoTelegrams(pty);
        pty.received.clear();
        QTest::mouseClick(f.ui().Button6, Qt::LeftButton);
        f.form->SettingsTelegramFromControls();
        QCOMPARE(pty.received,
                 QByteArray(reinterpret_cast<const char *>(f.form->settingsTelegram().data()), 30));
        QCOMPARE(f.dialogs.warnings, warnings);
        QVERIFY(f.ui().TabSheet2->isEnabled());
        QVERIFY(!f.form->timer(1)->isActive());
        // A silent display also stops its alive signal and is dropped meanwhile.
        QCOMPARE(f.form->connected(), mode != 2);
    }

    void sendBrightnessWithAZeroByte()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        echoTelegrams(pty);
        f.ui().MaskEdit9->setText("000");
        pty.received.clear();
        f.form->Button8Click();
        QCOMPARE(pty.received.size(), 21);
        QCOMPARE(pty.received[10], '\0');
        // The port drops the echoed zero byte: the echo comes one byte short.
        QCOMPARE(f.dialogs.warnings, (QStringList{row(MessageRow::ConfirmationTimeout),
                                                  row(MessageRow::TransferError)}));
        QVERIFY(f.ui().TabSheet3->isEnabled()); // a brightness transfer leaves its page enabled
    }

    void readSettings()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        pty.onData = [&pty](const QByteArray &data) {
            if (data.contains("\x1bYA\r\n"))
                pty.send(Settings);
        };
        pty.received.clear();
        QTest::mouseClick(f.ui().Button11, Qt::LeftButton);
        QCOMPARE(pty.received, QByteArray("\x1bYA\r\n"));
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(f.form->settingsTelegram().data()), 30),
                 Settings);
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), 3);
        QCOMPARE(f.ui().MaskEdit1->text(), QStringLiteral("012"));
    }

    void readBrightness()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        pty.onData = [&pty](const QByteArray &data) {
            if (data.contains("\x1bSt\r\n"))
                pty.send(Brightness);
        };
        pty.received.clear();
        f.form->Button7Click();
        QCOMPARE(pty.received.toHex(' '), QByteArray("1b 53 74 0d 0a"));
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("011"));
        QCOMPARE(f.ui().MaskEdit17->text(), QStringLiteral("255"));
    }

    void readFromASilentDisplay()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        const auto before = f.form->settingsTelegram();
        QTest::mouseClick(f.ui().Button11, Qt::LeftButton);
        QCOMPARE(f.dialogs.warnings, QStringList{row(MessageRow::DataTimeout)});
        QVERIFY(f.form->settingsTelegram() == before);
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), 0);
    }

    void closingDuringATransferEndsItAtOnce()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        // The display never echoes: only the close can end the transfer
        // before its reply timer (Timer1) runs out.
        bool closed = false;
        QTimer::singleShot(300, [&] {
            QTest::mouseClick(f.ui().Button10, Qt::LeftButton);
            closed = true;
        });
        QSignalSpy replyTimeouts(f.form->timer(1), &QTimer::timeout);
        QTest::mouseClick(f.ui().Button6, Qt::LeftButton);
        QVERIFY(closed);
        QCOMPARE(replyTimeouts.count(), 0);
        QCOMPARE(f.dialogs.warnings, (QStringList{row(MessageRow::ConfirmationTimeout),
                                                  row(MessageRow::TransferError)}));
        QVERIFY(!f.form->connected());
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(f.ui().TabSheet2->isEnabled());
        QVERIFY(f.ui().Button9->isEnabled());
    }

    void closingTheWindowDuringAConnect()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        QTimer::singleShot(900, [&] { f.form->close(); });
        // A silent display: only the close can end the connect before the
        // ACK wait (Timer1) runs out.
        QSignalSpy replyTimeouts(f.form->timer(1), &QTimer::timeout);
        connectWith(f, pty, QByteArray());
        QCOMPARE(replyTimeouts.count(), 0);
        QTRY_VERIFY(!f.form->isVisible());
        QVERIFY(!f.form->VaComm1->IsOpen());
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(f.readFile("PANTRIX.sav"), QByteArray("2\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n"));
    }

    void writeErrorStillRestoresThePage()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        f.ui().TabSheet3->setEnabled(true);
        f.ui().MaskEdit9->setText("");
        QTest::mouseClick(f.ui().Button8, Qt::LeftButton); // the record cannot be assembled
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|'' is not a valid integer value."});
        QVERIFY(f.ui().TabSheet3->isEnabled());
        QVERIFY(!f.form->timer(1)->isActive());
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void strayBytesAreDroppedAfterAWhile()
    {
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        RadioButtons::setChecked(f.ui().RadioButton4, false); // this display sends no ENQ
        pty.send("\x1bZ"); // the start of a reply nobody asked for
        QTest::qWait(3600);
        pty.onData = [&pty](const QByteArray &data) {
            if (data.contains("\x1bYA\r\n"))
                pty.send(Settings);
        };
        QTest::mouseClick(f.ui().Button11, Qt::LeftButton);
        QVERIFY(f.dialogs.warnings.isEmpty());
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), 3);
    }

    void userString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("warns");
        QTest::newRow("ABC") << "ABC" << QByteArray("ABC") << false;
        QTest::newRow("#027C1") << "#027C1"
                                << QByteArray("\x1b"
                                              "C1")
                                << false;
        QTest::newRow("#0271") << "#0271"
                               << QByteArray("\x1b"
                                             "1")
                               << false;
        QTest::newRow("#300") << "#300" << QByteArray("\x2c") << false;
        QTest::newRow("#000") << "#000" << QByteArray(1, '\0') << false;
        QTest::newRow("umlaut as 1252")
            << QString::fromUtf8("Ä€") << QByteArray("\xc4\x80") << false;
        QTest::newRow("A#12") << "A#12" << QByteArray() << true;
        QTest::newRow("A#") << "A#" << QByteArray() << true;
        QTest::newRow("#2x5") << "#2x5" << QByteArray() << true;
        QTest::newRow("empty") << "" << QByteArray() << false;
        // Enter in the box sends as the button does.
        QTest::newRow("ABC, Enter") << "ABC" << QByteArray("ABC") << false;
        QTest::newRow("A#12, Enter") << "A#12" << QByteArray() << true;
    }
    void userString()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, warns);
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        connectOk(f, pty);
        pty.received.clear();
        f.ui().Edit1->setText(text);
        if (QString(QTest::currentDataTag()).endsWith(", Enter"))
            QTest::keyClick(f.ui().Edit1, Qt::Key_Return);
        else
            QTest::mouseClick(f.ui().Button12, Qt::LeftButton);
        QTest::qWait(200);
        QCOMPARE(pty.received, bytes);
        QCOMPARE(f.dialogs.warnings.size(), warns ? 1 : 0);
        QCOMPARE(f.ui().Edit1->text(), text);
    }

    void escapeKeys()
    {
        FormFixture f;
        f.show();
        f.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        f.ui().CheckBox1->setChecked(true);
        f.ui().PageControl1->selectTabAsUser(3);
        QTRY_VERIFY(f.ui().Edit1->hasFocus());
        QTest::keyClick(f.ui().Edit1, Qt::Key_Escape);
        QCOMPARE(f.ui().Edit1->text(), QStringLiteral("#027"));
        QTRY_COMPARE(f.ui().Edit1->cursorPosition(), 4);
        f.ui().Edit1->setCursorPosition(1);
        QTest::mouseClick(f.ui().Button13, Qt::LeftButton);
        QCOMPARE(f.ui().Edit1->text(), QStringLiteral("#027#027C"));
        QVERIFY(f.ui().Edit1->hasFocus());
        QVERIFY(!f.ui().Edit1->hasSelectedText());
        QCOMPARE(f.ui().Edit1->cursorPosition(), 9);
    }

    void offlineOnAndOff()
    {
        FormFixture f;
        TForm1 &form = f.show();
        auto &ui = f.ui();
        ui.CheckBox1->setChecked(true);
        QCOMPARE(form.statusText(), row(MessageRow::OfflineMode) + QString(21, u' '));
        for (QWidget *w : std::initializer_list<QWidget *>{ui.Panel4, ui.Button6, ui.Button11,
                                                           ui.Button8, ui.Button12, ui.Button7,
                                                           ui.RadioButton3, ui.RadioButton4})
            QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
        ui.CheckBox1->setChecked(false);
        QCOMPARE(form.statusText(), QString(36, u' '));
        for (QWidget *w :
             std::initializer_list<QWidget *>{ui.Panel4, ui.Button6, ui.Button11, ui.Button8,
                                              ui.Button12, ui.Button7, ui.RadioButton4})
            QVERIFY2(!w->isHidden(), qPrintable(w->objectName()));
        QVERIFY(ui.RadioButton3->isHidden());
    }

    // A display that floods the line: the connect still times out, a read
    // still ends, and the window keeps handling its events all the while.
    void floodLeavesTheWindowResponsive_data()
    {
        QTest::addColumn<bool>("duringConnect");
        QTest::addColumn<QByteArray>("pattern");
        QTest::newRow("ENQ during the connect") << true << QByteArray("\x05");
        QTest::newRow("bytes during a read") << false << QByteArray("A");
    }
    void floodLeavesTheWindowResponsive()
    {
        QFETCH(bool, duringConnect);
        QFETCH(QByteArray, pattern);
        FormFixture f;
        PtyDisplay pty;
        start(f, pty);
        if (!duringConnect) {
            connectOk(f, pty);
            RadioButtons::setChecked(f.ui().RadioButton4, false);
        }
        QTimer ticker;
        int ticks = 0;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        pty.startFlood(pattern);
        if (duringConnect)
            QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
        else
            QTest::mouseClick(f.ui().Button11, Qt::LeftButton);
        const int ticksDuring = ticks;
        pty.stopFlood();
        if (duringConnect) {
            QCOMPARE(f.form->statusText(), row(MessageRow::AckTimeout));
            QVERIFY(!f.form->connected());
            QVERIFY2(ticksDuring >= 2, qPrintable(QString::number(ticksDuring)));
        } else {
            // The read ends with 30 of the flood's bytes, which the window's
            // loader refuses as it refuses any field that does not decode.
            QVERIFY(f.dialogs.warnings.isEmpty());
            QCOMPARE(f.dialogs.errors,
                     QStringList{"PANTRIX_V20|'A' is not a valid integer value."});
            QVERIFY(f.form->connected());
        }
        QVERIFY(f.ui().Button9->isEnabled() != f.form->connected());
    }
};

const QByteArray TestLinkPty::Settings = QByteArray::fromHex("1B5A4553314233433050"
                                                             "4F413031325630334B32"
                                                             "4E30444154313031"
                                                             "0D0A");
const QByteArray TestLinkPty::Brightness = QByteArray::fromHex("1B4854"
                                                               "0B"
                                                               "0808080808080808080808080808"
                                                               "FF"
                                                               "0D0A");

QTEST_MAIN(TestLinkPty)
#include "tst_link_pty.moc"
