// The serial component on a pseudo-terminal: opening, line settings, writing,
// reading and the rules for changes while the port is open.
#include "PtyPair.h"
#include "TVaComm.h"
#include "VaComm1Configuration.h"

#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <cstdarg>
#include <dlfcn.h>
#include <memory>
#include <sys/ioctl.h>
#include <thread>

namespace {

// A pseudo-terminal has no RTS line to look at, so the test counts the
// ioctls that would drive it.
std::atomic<int> rtsIoctls{0};

const QString PortOpenText = QStringLiteral("Can't perform this operation while port is open");

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EVaCommError &e) {
        return e.message();
    }
    return QString();
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept
{
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto next = reinterpret_cast<Ioctl>(dlsym(RTLD_NEXT, "ioctl"));
    if ((request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET) && argument &&
        (*static_cast<const int *>(argument) & TIOCM_RTS))
        ++rtsIoctls;
    return next(fd, request, argument);
}

class TestVaComm : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<TVaComm> m_comm;

    // A VaComm1 on the pseudo-terminal, not yet open.
    void makeComm()
    {
        m_comm = std::make_unique<TVaComm>();
        configureAsVaComm1(*m_comm);
        m_comm->setDeviceName(QStringLiteral("/dev/pts/%d"));
        m_comm->setPortNum(m_pty->slaveNumber());
    }

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 2000)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

private slots:
    void init()
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        makeComm();
    }
    void cleanup()
    {
        m_comm.reset();
        m_pty.reset();
    }

    void opensWithTheWindowsLineSettings()
    {
        m_pty->setSpeed(B9600);
        m_comm->Open();
        QVERIFY(m_comm->IsOpen());
        QCOMPARE(m_comm->EventMask(), 0x02C9u);
        const termios line = m_pty->settings();
        QCOMPARE(cfgetospeed(&line), speed_t(B300));
        QCOMPARE(cfgetispeed(&line), speed_t(B300));
        QCOMPARE(line.c_cflag & CSIZE, tcflag_t(CS8));
        QVERIFY(line.c_cflag & CSTOPB);
        QVERIFY(!(line.c_cflag & PARENB));
        QVERIFY(!(line.c_cflag & CRTSCTS));
        QVERIFY(line.c_cflag & CLOCAL);
        QVERIFY(line.c_cflag & CREAD);
        QVERIFY(!(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP)));
        QVERIFY(!(line.c_lflag & (ICANON | ECHO | ISIG)));
        QVERIFY(!(line.c_oflag & OPOST));
    }

    void openTwiceRaisesAndKeepsThePortOpen()
    {
        m_comm->Open();
        QCOMPARE(errorOf([&] { m_comm->Open(); }), PortOpenText);
        QVERIFY(m_comm->IsOpen());
        m_pty->send("A");
        char ch = 0;
        QVERIFY(waitFor([&] { return m_comm->ReadChar(ch); }));
        QCOMPARE(ch, 'A');
    }

    void secondComponentCannotOpenTheSamePort()
    {
        m_comm->Open();
        TVaComm other;
        other.setDeviceName(m_pty->slavePath());
        const QString expected =
            QStringLiteral("Can't open specified device %1 (Error 16, Device or "
                           "resource busy)")
                .arg(m_pty->slavePath());
        QCOMPARE(errorOf([&] { other.Open(); }), expected);
        QVERIFY(!other.IsOpen());
    }

    void refusedChangesWhileOpen_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("PortNum") << 0;
        QTest::newRow("DeviceName") << 1;
        QTest::newRow("MonitorEvents") << 2;
        QTest::newRow("DirectWrite") << 3;
        QTest::newRow("UpdateDCB") << 4;
        QTest::newRow("Buffers") << 5;
        QTest::newRow("Buffers.WriteSize") << 6;
    }
    void refusedChangesWhileOpen()
    {
        QFETCH(int, change);
        m_comm->Open();
        const int port = m_comm->PortNum();
        TVaBuffers buffers;
        buffers.setReadSize(10);
        const std::function<void()> changes[] = {
            [&] { m_comm->setPortNum(port + 1); },
            [&] { m_comm->setDeviceName(QStringLiteral("COM%d")); },
            [&] { m_comm->setMonitorEvents({}); },
            [&] { m_comm->setDirectWrite(true); },
            [&] { m_comm->setUpdateDCB(false); },
            [&] { m_comm->setBuffers(buffers); },
            [&] { m_comm->Buffers()->setWriteSize(16); },
        };
        QCOMPARE(errorOf(changes[change]), PortOpenText);
        QCOMPARE(m_comm->PortNum(), port);
        QCOMPARE(m_comm->DeviceName(), QStringLiteral("/dev/pts/%d"));
        QVERIFY(m_comm->MonitorEvents() ==
                TVaCommEvents({ceBreak, ceCts, ceError, ceRxChar, cePErr}));
        QVERIFY(!m_comm->DirectWrite());
        QVERIFY(m_comm->UpdateDCB());
        QCOMPARE(m_comm->Buffers()->ReadSize(), 4096);
        // A member of the group keeps the value it stored, for the next open.
        QCOMPARE(m_comm->Buffers()->WriteSize(), change == 6 ? 16 : 2048);
    }

    void lineChangesWhileOpenReachTheDevice()
    {
        m_comm->Open();
        m_comm->setBaudrate(br19200);
        QCOMPARE(cfgetospeed(&static_cast<const termios &>(m_pty->settings())), speed_t(B19200));
        // A pseudo-terminal keeps 8 data bits without parity whatever it is
        // told, so the character format cannot be checked here.
        m_comm->setStopbits(sb1);
        QVERIFY(!(m_pty->settings().c_cflag & CSTOPB));
        m_comm->FlowControl()->setXonXoffIn(true);
        QVERIFY(m_pty->settings().c_iflag & IXOFF);
        m_comm->Buffers()->setWriteTimeout(50);
        QCOMPARE(m_comm->Buffers()->WriteTimeout(), 50);
    }

    // The test puts the line to 9600 behind the component's back; a rewrite of
    // the line settings shows as the speed going back to 300.
    void eventCharsRewriteTheLineSettingsFlowControlDoesNot_data()
    {
        QTest::addColumn<int>("assignment");
        QTest::addColumn<bool>("rewritten");
        QTest::newRow("same XonChar") << 0 << true;
        QTest::newRow("same EventChar") << 1 << true;
        QTest::newRow("same OutCtsFlow") << 2 << false;
        QTest::newRow("same ControlRts") << 3 << false;
        QTest::newRow("same Baudrate") << 4 << false;
        QTest::newRow("same UserBaudrate") << 5 << false;
        QTest::newRow("other OutCtsFlow") << 6 << true;
    }
    void eventCharsRewriteTheLineSettingsFlowControlDoesNot()
    {
        QFETCH(int, assignment);
        QFETCH(bool, rewritten);
        m_comm->Open();
        m_pty->setSpeed(B9600);
        switch (assignment) {
        case 0:
            m_comm->EventChars()->setXonChar(17);
            break;
        case 1:
            m_comm->EventChars()->setEventChar(0);
            break;
        case 2:
            m_comm->FlowControl()->setOutCtsFlow(false);
            break;
        case 3:
            m_comm->FlowControl()->setControlRts(rtsDisabled);
            break;
        case 4:
            m_comm->setBaudrate(br300);
            break;
        case 5:
            m_comm->setUserBaudrate(0);
            break;
        case 6:
            m_comm->FlowControl()->setOutCtsFlow(true);
            break;
        }
        const termios line = m_pty->settings();
        QCOMPARE(cfgetospeed(&line), rewritten ? speed_t(B300) : speed_t(B9600));
    }

    // RTS is driven by SetRts and by a change of its control mode, never by
    // a plain rewrite of the line settings: for the display, RTS low ends the
    // handshake.
    void settingsRewriteLeavesRtsAlone_data()
    {
        QTest::addColumn<int>("assignment");
        QTest::addColumn<int>("rtsDriven");
        QTest::newRow("speed") << 0 << 0;
        QTest::newRow("same EventChar") << 1 << 0;
        QTest::newRow("stop bits") << 2 << 0;
        QTest::newRow("XON/XOFF input flow") << 3 << 0;
        QTest::newRow("RTS control held high") << 4 << 1;
    }
    void settingsRewriteLeavesRtsAlone()
    {
        QFETCH(int, assignment);
        m_comm->Open();
        m_comm->SetRts(true);
        const int before = rtsIoctls.load();
        switch (assignment) {
        case 0:
            m_comm->setBaudrate(br9600);
            break;
        case 1:
            m_comm->EventChars()->setEventChar(0);
            break;
        case 2:
            m_comm->setStopbits(sb1);
            break;
        case 3:
            m_comm->FlowControl()->setXonXoffIn(true);
            break;
        case 4:
            m_comm->FlowControl()->setControlRts(rtsEnabled);
            break;
        }
        QTEST(rtsIoctls.load() - before, "rtsDriven");
    }

    // A pseudo-terminal drops PARENB and the data bits from what the other
    // end sees, but keeps PARODD and CMSPAR: enough to tell the parities apart.
    // The C library then reports the dropped PARENB as EINVAL, after the
    // kernel took the rest; only the flags count here.
    void parityReachesTheLine_data()
    {
        QTest::addColumn<int>("parity");
        QTest::addColumn<bool>("odd");
        QTest::addColumn<bool>("stick");
        QTest::newRow("none") << int(paNone) << false << false;
        QTest::newRow("odd") << int(paOdd) << true << false;
        QTest::newRow("even") << int(paEven) << false << false;
        QTest::newRow("mark") << int(paMark) << true << true;
        QTest::newRow("space") << int(paSpace) << false << true;
    }
    void parityReachesTheLine()
    {
        QFETCH(int, parity);
        m_comm->Open();
        // From another parity first, so every row changes the line.
        errorOf([&] { m_comm->setParity(parity == paMark ? paSpace : paMark); });
        errorOf([&] { m_comm->setParity(TVaParity(parity)); });
        const tcflag_t flags = m_pty->settings().c_cflag;
        QTEST(bool(flags & PARODD), "odd");
        QTEST(bool(flags & CMSPAR), "stick");
    }

    void withoutUpdateDcbTheLineIsUntouched()
    {
        m_pty->setSpeed(B4800);
        m_comm->setUpdateDCB(false);
        m_comm->Open();
        m_comm->setBaudrate(br19200);
        m_comm->EventChars()->setXonChar(17);
        const termios line = m_pty->settings();
        QCOMPARE(cfgetospeed(&line), speed_t(B4800));
        QVERIFY(!(line.c_cflag & CSTOPB));
    }

    void failedOpenLeavesThePortClosed()
    {
        // Four data bits cannot be set on this platform: the line settings fail.
        m_comm->setDatabits(db4);
        bool opened = false;
        m_comm->setOnOpen([&](QObject *) { opened = true; });
        QCOMPARE(errorOf([&] { m_comm->Open(); }),
                 QStringLiteral("Error writing dcb (22), Invalid argument"));
        QVERIFY(!m_comm->IsOpen());
        QVERIFY(!opened);
        // The device was released: it opens once the setting is fixed.
        m_comm->setDatabits(db8);
        m_comm->Open();
        QVERIFY(opened);
    }

    void openAndCloseNotify()
    {
        QStringList calls;
        m_comm->setOnOpen([&](QObject *sender) {
            QCOMPARE(sender, m_comm.get());
            calls << QStringLiteral("open");
        });
        m_comm->setOnClose([&](QObject *) { calls << QStringLiteral("close"); });
        m_comm->Open();
        QElapsedTimer timer;
        timer.start();
        m_comm->Close();
        QVERIFY(timer.elapsed() >= 300);
        QVERIFY(!m_comm->IsOpen());
        m_comm->Close();
        QCOMPARE(calls, QStringList({QStringLiteral("open"), QStringLiteral("close")}));
    }

    void writesComeOutInOrder()
    {
        int emptied = 0;
        m_comm->setOnTxEmpty([&](QObject *) { ++emptied; });
        m_comm->Open();
        QByteArray expected;
        for (int i = 0; i < 40; ++i) {
            const QByteArray chunk = QByteArray::number(i).rightJustified(3, '0') + ';';
            QCOMPARE(m_comm->WriteBuf(chunk.constData(), int(chunk.size())), int(chunk.size()));
            expected += chunk;
        }
        QCOMPARE(m_pty->receive(int(expected.size())), expected);
        QVERIFY(waitFor([&] { return emptied >= 1; }));
        const int afterFirstBurst = emptied;
        QVERIFY(afterFirstBurst <= 40);
        m_comm->WriteBuf("xyz", 3);
        QCOMPARE(m_pty->receive(3), QByteArray("xyz"));
        QVERIFY(waitFor([&] { return emptied == afterFirstBurst + 1; }));
    }

    // The caller writes faster than the line takes the bytes and handles no
    // events meanwhile: the emptied-queue reports wait, the bytes do not.
    void writingOnWithoutHandlingEventsNeverStalls()
    {
        int emptied = 0;
        m_comm->setOnTxEmpty([&](QObject *) { ++emptied; });
        TVaBuffers buffers;
        buffers.setWriteSize(64);
        buffers.setWriteTimeout(500);
        m_comm->setBuffers(buffers);
        m_comm->Open();
        QByteArray expected;
        for (int i = 0; i < 2000; ++i)
            expected += QByteArray::number(i % 1000).rightJustified(3, '0') + ',';
        QByteArray received;
        std::thread device([&] { received = m_pty->receive(int(expected.size()), 10000); });
        try {
            for (qsizetype sent = 0; sent < expected.size(); sent += 40)
                m_comm->WriteBuf(expected.constData() + sent,
                                 int(qMin<qsizetype>(40, expected.size() - sent)));
        } catch (const EVaCommError &e) {
            device.join();
            QFAIL(qPrintable(e.message()));
        }
        device.join();
        QCOMPARE(received, expected);
        QVERIFY(waitFor([&] { return emptied >= 1; }));
    }

    // The line is full when the writes come: the device takes part of a
    // write and the rest is queued, again and again at every chunk size.
    // Every byte reaches the line once, in order.
    void partialWritesLoseAndRepeatNothing_data()
    {
        QTest::addColumn<int>("chunk");
        for (const int chunk : {3, 100, 1000, 2047, 2048})
            QTest::addRow("%d-byte writes", chunk) << chunk;
    }
    void partialWritesLoseAndRepeatNothing()
    {
        QFETCH(int, chunk);
        TVaBuffers buffers;
        buffers.setWriteTimeout(20000);
        m_comm->setBuffers(buffers);
        m_comm->Open();
        QByteArray expected(96 * 1024 + 13, Qt::Uninitialized);
        for (qsizetype i = 0; i < expected.size(); ++i)
            expected[i] = char((i * 7 + i / 251) % 251 + 1);
        QByteArray received;
        // The reader starts late, so the line is full long before.
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            received = m_pty->receive(int(expected.size()), 30000);
        });
        try {
            for (qsizetype sent = 0; sent < expected.size(); sent += chunk)
                m_comm->WriteBuf(expected.constData() + sent,
                                 int(qMin<qsizetype>(chunk, expected.size() - sent)));
        } catch (const EVaCommError &e) {
            device.join();
            QFAIL(qPrintable(e.message()));
        }
        device.join();
        QCOMPARE(received.size(), expected.size());
        QVERIFY(received == expected);
    }

    void closePausesForTheDeviceToSettle_data()
    {
        QTest::addColumn<int>("pause");
        QTest::newRow("as the window has it") << -1;
        QTest::newRow("none, for a caller closing many ports") << 0;
    }
    void closePausesForTheDeviceToSettle()
    {
        QFETCH(int, pause);
        if (pause >= 0)
            m_comm->setPauseAfterClose(pause);
        m_comm->Open();
        QElapsedTimer timer;
        timer.start();
        m_comm->Close();
        if (pause < 0)
            QVERIFY(timer.elapsed() >= 295);
        else
            QVERIFY2(timer.elapsed() < 295, qPrintable(QString::number(timer.elapsed())));
    }

    void writeThatCanNeverFitRaisesAfterTheTimeout()
    {
        TVaBuffers buffers;
        buffers.setWriteSize(16);
        buffers.setWriteTimeout(200);
        m_comm->setBuffers(buffers);
        m_comm->Open();
        const QByteArray exact(16, 'e');
        QCOMPARE(m_comm->WriteBuf(exact.constData(), 16), 16);
        QCOMPARE(m_pty->receive(16), exact);
        const QByteArray tooMuch(17, 'x');
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(errorOf([&] { m_comm->WriteBuf(tooMuch.constData(), 17); }),
                 QStringLiteral("Output buffer is full. Please check comm status."));
        QVERIFY(timer.elapsed() >= 195);
        QVERIFY(timer.elapsed() < 20000); // no hang
    }

    void directWriteSendsAtOnce()
    {
        m_comm->setDirectWrite(true);
        m_comm->Open();
        QCOMPARE(m_comm->WriteBuf("direct", 6), 6);
        QCOMPARE(m_pty->receive(6), QByteArray("direct"));
    }

    void readsReturnAtOnce()
    {
        m_comm->Open();
        char ch = 0;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!m_comm->ReadChar(ch));
        char buffer[8];
        QCOMPARE(m_comm->ReadBuf(buffer, 8), 0);
        // Far below the read time-out of 1000 ms: nothing waits for bytes.
        QVERIFY(timer.elapsed() < 950);
    }

    void zeroBytesNeverReachTheReader_data()
    {
        QTest::addColumn<bool>("nullStrip");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("null strip") << true
                                    << QByteArray("ab\x05"
                                                  "c");
        QTest::newRow("kept") << false
                              << QByteArray("a\0b\0\x05"
                                            "c\0",
                                            7);
    }
    void zeroBytesNeverReachTheReader()
    {
        QFETCH(bool, nullStrip);
        QFETCH(QByteArray, expected);
        if (!nullStrip)
            m_comm->setOptions({coErrorChar, coParityCheck});
        m_comm->setMonitorEvents({});
        m_comm->Open();
        m_pty->send(QByteArray("a\0b\0\x05"
                               "c\0",
                               7));
        QByteArray got;
        waitFor([&] {
            char buffer[16];
            got.append(buffer, m_comm->ReadBuf(buffer, sizeof buffer));
            return got.size() >= expected.size();
        });
        QTest::qWait(50);
        char buffer[16];
        got.append(buffer, m_comm->ReadBuf(buffer, sizeof buffer));
        QCOMPARE(got, expected);
        QCOMPARE(m_comm->InQueueCount(), 0);
    }

    // The first count asked must be right: bytes still in the device when it
    // is asked are counted once, beside those already queued.
    void inQueueCountIsExact_data()
    {
        QTest::addColumn<bool>("someQueued");
        QTest::newRow("all in the device") << false;
        QTest::newRow("some queued, some in the device") << true;
    }
    void inQueueCountIsExact()
    {
        QFETCH(bool, someQueued);
        m_comm->setMonitorEvents({});
        m_comm->Open();
        if (someQueued) {
            m_pty->send(QByteArray("12\0", 3));
            QVERIFY(waitFor([&] { return m_comm->InQueueCount() == 2; }));
            m_pty->send("345");
        } else {
            m_pty->send(QByteArray("12\0"
                                   "345",
                                   6));
        }
        // Nothing reads the device meanwhile: no event thread runs.
        QTest::qWait(200);
        QCOMPARE(m_comm->InQueueCount(), 5);
        char buffer[2];
        QCOMPARE(m_comm->ReadBuf(buffer, 2), 2);
        QCOMPARE(m_comm->InQueueCount(), 3);
        m_comm->ResetDevice();
        QCOMPARE(m_comm->InQueueCount(), 0);
    }

    // A pseudo-terminal has no RTS line: driving it is accepted and does nothing.
    void rtsOnAPseudoTerminal()
    {
        m_comm->Open();
        m_comm->SetRts(true);
        m_comm->SetRts(false);
        m_comm->WriteBuf("ok", 2);
        QCOMPARE(m_pty->receive(2), QByteArray("ok"));
    }
};

QTEST_GUILESS_MAIN(TestVaComm)
#include "tst_vacomm.moc"
