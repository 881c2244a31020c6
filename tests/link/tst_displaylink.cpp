// DisplayLink without a window, against a display that the test plays byte
// by byte on a pseudo-terminal: the handshake's answers, transfers and their
// echoes, the port going away or being closed in every state, the user
// string, and the API driven by its signals alone. Supervision is tested
// against the simulated display, whose ENQ can stop.
#include "DisplayLink.h"
#include "PtyDisplay.h"
#include "TVaComm.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

namespace {

const QByteArray Settings =
    QByteArray::fromHex("1B5A45533142334330504F413031325630334B324E30444154313031"
                        "0D0A");
const QByteArray Brightness = QByteArray::fromHex("1B48540B0808080808080808080808080808FF0D0A");
const char Enq = 0x05;

// A link whose port is the slave side of `pty`.
struct PtyLink
{
    PtyLink() { link.setPortName(pty.slavePath()); }

    // Connects, the display answering ACK once RTS is up.
    bool connectOk()
    {
        answerRtsWith("\x06");
        return link.connectDisplay().connected();
    }
    void answerRtsWith(const QByteArray &answer)
    {
        QObject::connect(&link, &DisplayLink::waitingForAck, &pty, [this, answer] {
            if (!answer.isEmpty())
                pty.send(answer);
        });
    }
    // Sends `reply` once `request` has come from the link.
    void replyTo(const QByteArray &request, const QByteArray &reply)
    {
        pty.received.clear();
        auto answered = std::make_shared<bool>(false);
        pty.onData = [this, request, reply, answered](const QByteArray &) {
            if (!*answered && pty.received.endsWith(request) && !reply.isEmpty()) {
                *answered = true;
                pty.send(reply);
            }
        };
    }

    PtyDisplay pty;
    DisplayLink link;
};

enum Stage
{
    Pausing,
    AwaitingAck,
    Idle,
    IdleAfterAByte,
    Sending,
    Reading,
    CollectingStrayBytes
};
enum Interruption
{
    Unplug,
    Close,
    Cancel
};

} // namespace

class TestDisplayLink : public QObject
{
    Q_OBJECT

private slots:
    void portNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<int>("portNum");
        QTest::newRow("COM3") << "COM3"
                              << "COM3" << 3;
        QTest::newRow("lower case com16") << "com16"
                                          << "COM16" << 16;
        QTest::newRow("device path") << "/dev/ttyUSB0"
                                     << "/dev/ttyUSB0" << 0;
        QTest::newRow("rfc2217 target") << "rfc2217://127.0.0.1:7020"
                                        << "rfc2217://127.0.0.1:7020" << 0;
        QTest::newRow("percent sign kept") << "/dev/odd%dname"
                                           << "/dev/odd%dname" << 0;
        QTest::newRow("COM0 is no port number") << "COM0"
                                                << "COM0" << 0;
    }
    void portNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, portName);
        QFETCH(int, portNum);
        DisplayLink link;
        link.setPortName(name);
        QCOMPARE(link.portName(), portName);
        QCOMPARE(link.port()->PortNum(), portNum);
    }

    void connectOutcomes_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<ConnectOutcome::Result>("result");
        QTest::addColumn<int>("answerByte");
        using R = ConnectOutcome::Result;
        QTest::newRow("ACK") << QByteArray("\x06") << R::Connected << 0;
        QTest::newRow("ENQ ENQ ACK") << QByteArray("\x05\x05\x06") << R::Connected << 0;
        QTest::newRow("ACK then ENQ") << QByteArray("\x06\x05") << R::Connected << 0;
        QTest::newRow("NAK") << QByteArray("\x15") << R::WrongAnswer << 0x15;
        QTest::newRow("ENQ then NAK") << QByteArray("\x05\x15") << R::WrongAnswer << 0x15;
        // Any byte but ACK fails the same way, whatever its neighbours in the code table.
        for (const int wrong : {0x01, 0x04, 0x07, 0x1B, 0x41, 0x86, 0xFF})
            QTest::addRow("0x%02X", wrong) << QByteArray(1, char(wrong)) << R::WrongAnswer << wrong;
        QTest::newRow("ENQ then 0x86") << QByteArray("\x05\x86") << R::WrongAnswer << 0x86;
        QTest::newRow("a zero byte is no answer") << QByteArray(1, '\0') << R::NoAck << 0;
        QTest::newRow("silence") << QByteArray() << R::NoAck << 0;
    }
    void connectOutcomes()
    {
        QFETCH(QByteArray, answer);
        QFETCH(ConnectOutcome::Result, result);
        QFETCH(int, answerByte);
        PtyLink s;
        s.answerRtsWith(answer);
        QElapsedTimer clock;
        clock.start();
        const ConnectOutcome outcome = s.link.connectDisplay();
        QCOMPARE(outcome.result, result);
        QCOMPARE(int(quint8(outcome.answer)), answerByte);
        const bool connected = result == ConnectOutcome::Result::Connected;
        QCOMPARE(s.link.isConnected(), connected);
        QCOMPARE(s.link.port()->IsOpen(), connected);
        QCOMPARE(s.link.timer(2)->isActive(), connected);
        QVERIFY(!s.link.timer(1)->isActive());
        QVERIFY(!s.link.isBusy());
        // The first connect pauses a full 500 ms; a silent display gets 3000 ms more.
        QVERIFY(clock.elapsed() >= (answer.isEmpty() ? 3500 : 500));
    }

    void openFailureNamesTheReason()
    {
        DisplayLink link;
        link.setPortName("/dev/no-such-adapter");
        const ConnectOutcome outcome = link.connectDisplay();
        QCOMPARE(outcome.result, ConnectOutcome::Result::OpenFailed);
        QCOMPARE(outcome.reason,
                 QStringLiteral("Specified device not found (/dev/no-such-adapter)."));
        QVERIFY(!link.port()->IsOpen());
    }

    void transfers_data()
    {
        QTest::addColumn<int>("read"); // -1: send `telegram`; else a DisplayLink::Telegram
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<QByteArray>("reply"); // sent once the request is whole
        QTest::addColumn<QByteArray>("stale"); // sent before the transfer starts
        QTest::addColumn<int>("result");       // SendOutcome::Result or ReadOutcome::Result
        QTest::addColumn<QByteArray>("received");
        const int send = -1, settings = int(DisplayLink::Telegram::Settings),
                  brightness = int(DisplayLink::Telegram::Brightness);
        const int echoed = int(SendOutcome::Result::Echoed),
                  sendTimeOut = int(SendOutcome::Result::TimedOut),
                  differs = int(SendOutcome::Result::EchoDiffers),
                  done = int(ReadOutcome::Result::Done),
                  readTimeOut = int(ReadOutcome::Result::TimedOut);
        QByteArray changed = Settings;
        changed[12] = char(changed[12] ^ 1);
        const QByteArray withEnq = Settings.left(15) + Enq + Settings.mid(15);
        QByteArray zero = Brightness;
        zero[10] = 0;
        QTest::newRow("settings echoed")
            << send << Settings << Settings << QByteArray() << echoed << Settings;
        QTest::newRow("brightness echoed")
            << send << Brightness << Brightness << QByteArray() << echoed << Brightness;
        QTest::newRow("echo with a changed byte")
            << send << Settings << changed << QByteArray() << differs << changed;
        QTest::newRow("ENQ inside the echo")
            << send << Settings << withEnq << QByteArray() << differs << withEnq.left(30);
        QTest::newRow("silent display")
            << send << Settings << QByteArray() << QByteArray() << sendTimeOut << QByteArray();
        QTest::newRow("zero byte dropped from the echo")
            << send << zero << zero << QByteArray() << sendTimeOut << zero.left(10) + zero.mid(11);
        QTest::newRow("stale bytes before a send")
            << send << Settings << Settings << QByteArray("xyz\x05q") << echoed << Settings;
        QTest::newRow("read settings")
            << settings << QByteArray() << Settings << QByteArray() << done << Settings;
        QTest::newRow("read brightness")
            << brightness << QByteArray() << Brightness << QByteArray() << done << Brightness;
        QTest::newRow("read with stale bytes before")
            << settings << QByteArray() << Settings << QByteArray("\x1bZE12") << done << Settings;
        QTest::newRow("read from a silent display") << settings << QByteArray() << QByteArray()
                                                    << QByteArray() << readTimeOut << QByteArray();
    }
    void transfers()
    {
        QFETCH(int, read);
        QFETCH(QByteArray, telegram);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, stale);
        QFETCH(int, result);
        QFETCH(QByteArray, received);
        PtyLink s;
        QVERIFY(s.connectOk());
        // Supervision off: this display sends no ENQ.
        s.link.setSupervisionCondition([] { return false; });
        if (!stale.isEmpty()) {
            s.pty.send(stale);
            QTest::qWait(100);
        }
        const QByteArray request =
            read < 0 ? telegram : DisplayLink::readRequest(DisplayLink::Telegram(read));
        s.replyTo(request, reply);
        QElapsedTimer clock;
        clock.start();
        if (read < 0) {
            const SendOutcome outcome = s.link.sendTelegram(telegram);
            QCOMPARE(int(outcome.result), result);
            QCOMPARE(outcome.received.toHex(' '), received.toHex(' '));
        } else {
            const ReadOutcome outcome = s.link.readTelegram(DisplayLink::Telegram(read));
            QCOMPARE(int(outcome.result), result);
            QCOMPARE(outcome.bytes.toHex(' '), received.toHex(' '));
        }
        QCOMPARE(s.pty.received.toHex(' '), request.toHex(' '));
        const bool timedOut = result == int(SendOutcome::Result::TimedOut) ||
                              (read >= 0 && result == int(ReadOutcome::Result::TimedOut));
        if (timedOut)
            QVERIFY(clock.elapsed() >= 2990);
        QVERIFY(!s.link.timer(1)->isActive());
        QVERIFY(s.link.isConnected());
    }

    void interruptions_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("how");
        // A ConnectOutcome::Result while connecting, a TimedOut flag while transferring.
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("portLostSignals");
        QTest::addColumn<bool>("stillConnected");
        const int portLost = int(ConnectOutcome::Result::PortLost),
                  cancelled = int(ConnectOutcome::Result::Cancelled), timedOut = 1, none = 0;
        QTest::newRow("unplugged while pausing")
            << int(Pausing) << int(Unplug) << portLost << 0 << false;
        QTest::newRow("unplugged while awaiting ACK")
            << int(AwaitingAck) << int(Unplug) << portLost << 0 << false;
        QTest::newRow("unplugged while connected")
            << int(Idle) << int(Unplug) << none << 1 << false;
        QTest::newRow("unplugged right after an ENQ")
            << int(IdleAfterAByte) << int(Unplug) << none << 1 << false;
        QTest::newRow("unplugged while sending")
            << int(Sending) << int(Unplug) << timedOut << 1 << false;
        QTest::newRow("unplugged while reading")
            << int(Reading) << int(Unplug) << timedOut << 1 << false;
        QTest::newRow("unplugged while collecting stray bytes")
            << int(CollectingStrayBytes) << int(Unplug) << none << 1 << false;
        QTest::newRow("closed while pausing")
            << int(Pausing) << int(Close) << cancelled << 0 << false;
        QTest::newRow("closed while awaiting ACK")
            << int(AwaitingAck) << int(Close) << cancelled << 0 << false;
        QTest::newRow("closed while sending")
            << int(Sending) << int(Close) << timedOut << 0 << false;
        QTest::newRow("cancelled while reading")
            << int(Reading) << int(Cancel) << timedOut << 0 << true;
    }
    void interruptions()
    {
        QFETCH(int, stage);
        QFETCH(int, how);
        QFETCH(int, outcome);
        QFETCH(int, portLostSignals);
        QFETCH(bool, stillConnected);
        PtyLink s;
        int lost = 0;
        connect(&s.link, &DisplayLink::portLost, [&lost] { ++lost; });
        const auto interrupt = [&s, how] {
            if (how == Unplug)
                s.pty.unplug();
            else if (how == Close)
                s.link.close();
            else
                s.link.cancel();
        };
        int replyTimeOuts = 0;
        connect(s.link.timer(1), &QTimer::timeout, [&replyTimeOuts] { ++replyTimeOuts; });
        if (stage == Pausing || stage == AwaitingAck) {
            if (stage == Pausing)
                QTimer::singleShot(100, &s.pty, interrupt);
            else
                connect(&s.link, &DisplayLink::waitingForAck, &s.pty,
                        [&] { QTimer::singleShot(100, &s.pty, interrupt); });
            QCOMPARE(int(s.link.connectDisplay().result), outcome);
        } else {
            QVERIFY(s.connectOk());
            s.link.setSupervisionCondition([] { return false; });
            QTimer::singleShot(300, &s.pty, [&s, stage, interrupt] {
                // Bytes and the loss reported together: the loss must not get lost.
                if (stage == IdleAfterAByte)
                    s.pty.send("\x05");
                interrupt();
            });
            if (stage == Sending)
                QCOMPARE(s.link.sendTelegram(Settings).result == SendOutcome::Result::TimedOut,
                         outcome == 1);
            else if (stage == Reading)
                QCOMPARE(s.link.readTelegram(DisplayLink::Telegram::Settings).result ==
                             ReadOutcome::Result::TimedOut,
                         outcome == 1);
            else if (stage == CollectingStrayBytes)
                s.pty.send("\x1bZ"); // the start of a reply that nobody asked for
            QTRY_COMPARE_WITH_TIMEOUT(lost, portLostSignals, 10000);
        }
        // Interrupted at once, not by the reply time running out.
        QCOMPARE(replyTimeOuts, 0);
        QTest::qWait(50);
        QCOMPARE(lost, portLostSignals);
        QCOMPARE(s.link.isConnected(), stillConnected);
        QCOMPARE(s.link.port()->IsOpen(), stillConnected);
        QVERIFY(!s.link.isBusy());
    }

    void userString_data()
    {
        QTest::addColumn<QByteArray>("text"); // "<Esc>" and "<Esc-C>" use their calls
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<UserStringOutcome>("outcome");
        const auto sent = UserStringOutcome::Sent, bad = UserStringOutcome::BadEscape;
        QTest::newRow("escapes expanded") << QByteArray("A#027C")
                                          << QByteArray("A\x1b"
                                                        "C")
                                          << sent;
        QTest::newRow("bad escape sends nothing") << QByteArray("A#12") << QByteArray() << bad;
        QTest::newRow("Esc") << QByteArray("<Esc>") << QByteArray("\x1b") << sent;
        QTest::newRow("Esc-C") << QByteArray("<Esc-C>")
                               << QByteArray("\x1b"
                                             "C")
                               << sent;
    }
    void userString()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, bytes);
        QFETCH(UserStringOutcome, outcome);
        PtyLink s;
        QVERIFY(s.connectOk());
        s.pty.received.clear();
        if (text == "<Esc>")
            s.link.sendEscape();
        else if (text == "<Esc-C>")
            s.link.sendEscapeC();
        else
            QCOMPARE(s.link.sendUserString(text), outcome);
        QTest::qWait(200);
        QCOMPARE(s.pty.received.toHex(' '), bytes.toHex(' '));
        QVERIFY(!s.link.isBusy());
    }

    void drivenBySignalsAlone()
    {
        PtyLink s;
        s.answerRtsWith("\x06");
        QList<ConnectOutcome> connects;
        QList<SendOutcome> sends;
        QList<ReadOutcome> reads;
        connect(&s.link, &DisplayLink::connectFinished,
                [&](const ConnectOutcome &o) { connects << o; });
        connect(&s.link, &DisplayLink::sendFinished, [&](const SendOutcome &o) { sends << o; });
        connect(&s.link, &DisplayLink::readFinished, [&](const ReadOutcome &o) { reads << o; });
        s.link.startConnect();
        QVERIFY(s.link.isBusy());
        QTRY_COMPARE_WITH_TIMEOUT(connects.size(), 1, 3000);
        QVERIFY(connects[0].connected());

        // A new operation ends the running one first.
        s.link.startRead(DisplayLink::Telegram::Brightness);
        s.replyTo(Settings, Settings);
        s.link.startSend(Settings);
        QCOMPARE(reads.size(), 1);
        QCOMPARE(reads[0].result, ReadOutcome::Result::TimedOut);
        QTRY_COMPARE_WITH_TIMEOUT(sends.size(), 1, 3000);
        QCOMPARE(sends[0].result, SendOutcome::Result::Echoed);
        QVERIFY(!s.link.isBusy());
    }

    // Bytes that no operation waits for keep the link alive only for their
    // time limit, whatever came before them: then supervision drops the
    // connection of a display that sends nothing else.
    void strayBytesAreDroppedAfterTheirLimit_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("right after the connect") << "connect";
        QTest::newRow("after a read") << "read";
        QTest::newRow("after a send") << "send";
        QTest::newRow("after a timed-out read") << "timed-out read";
    }
    void strayBytesAreDroppedAfterTheirLimit()
    {
        QFETCH(QString, before);
        PtyLink s;
        QVERIFY(s.connectOk());
        s.link.setSupervisionCondition([] { return false; });
        if (before == "read" || before == "timed-out read") {
            s.replyTo(DisplayLink::readRequest(DisplayLink::Telegram::Settings),
                      before == "read" ? Settings : QByteArray());
            s.link.readTelegram(DisplayLink::Telegram::Settings);
        } else if (before == "send") {
            s.replyTo(Settings, Settings);
            QCOMPARE(s.link.sendTelegram(Settings).result, SendOutcome::Result::Echoed);
        }
        bool lost = false;
        int outcomes = 0;
        connect(&s.link, &DisplayLink::contactLost, [&lost] { lost = true; });
        connect(&s.link, &DisplayLink::readFinished, [&outcomes] { ++outcomes; });
        connect(&s.link, &DisplayLink::sendFinished, [&outcomes] { ++outcomes; });
        s.link.setSupervisionCondition([] { return true; });
        s.pty.send("\x1bZ"); // the start of a reply that nobody asked for
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(lost, 20000);
        // After a transfer the stray bytes start a 30-byte reply; after the
        // connect a 1-byte one, and after a time-out none at all.
        if (before == "read" || before == "send")
            QVERIFY2(clock.elapsed() >= DisplayLink::StrayLimitMs * 8 / 10,
                     qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(outcomes, 0);
        QVERIFY(!s.link.isConnected());
        QVERIFY(!s.link.port()->IsOpen());
    }

    // A display that floods the line: every wait still ends as it should, and
    // the thread keeps serving its other events meanwhile.
    void floodsLeaveTheThreadResponsive_data()
    {
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<bool>("lasts"); // the outcome takes seconds, not moments
        QTest::newRow("ENQ while awaiting ACK")
            << "connect" << QByteArray("\x05") << "no ACK" << true;
        QTest::newRow("ENQ while connected") << "idle" << QByteArray("\x05") << "connected" << true;
        QTest::newRow("ENQ during a read") << "read" << QByteArray("\x05") << "timed out" << true;
        QTest::newRow("bytes during a read")
            << "read" << QByteArray("A") << "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAA" << false;
        QTest::newRow("bytes during a send") << "send" << QByteArray("AB") << "differs" << false;
    }
    void floodsLeaveTheThreadResponsive()
    {
        QFETCH(QString, stage);
        QFETCH(QByteArray, pattern);
        QFETCH(QString, outcome);
        QFETCH(bool, lasts);
        PtyLink s;
        if (stage != "connect") {
            QVERIFY(s.connectOk());
            s.link.setSupervisionCondition([] { return false; });
        }
        QTimer ticker;
        int ticks = 0;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(20);
        s.pty.startFlood(pattern);
        QString result;
        if (stage == "connect") {
            result =
                s.link.connectDisplay().result == ConnectOutcome::Result::NoAck ? "no ACK" : "?";
        } else if (stage == "idle") {
            s.link.setSupervisionCondition([] { return true; });
            QTest::qWait(2500);
            result = s.link.isConnected() ? "connected" : "lost";
        } else if (stage == "read") {
            const ReadOutcome read = s.link.readTelegram(DisplayLink::Telegram::Settings);
            result = read.result == ReadOutcome::Result::TimedOut ? "timed out"
                                                                  : QString::fromLatin1(read.bytes);
        } else {
            const SendOutcome sent = s.link.sendTelegram(Settings);
            result = sent.result == SendOutcome::Result::EchoDiffers ? "differs" : "?";
        }
        const int ticksDuring = ticks;
        s.pty.stopFlood();
        QCOMPARE(result, outcome);
        if (lasts)
            QVERIFY2(ticksDuring >= 2, qPrintable(QString::number(ticksDuring)));
        s.link.close();
        QVERIFY(!s.link.port()->IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestDisplayLink)
#include "tst_displaylink.moc"
