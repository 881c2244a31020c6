// The serial component without a device: setting groups, derived records,
// names, and what a closed port does.
#include "DeviceNameFormat.h"
#include "EVaCommError.h"
#include "MillisecondDeadline.h"
#include "TVaComm.h"
#include "TVaCommBuffer.h"
#include "TVaCriticalSection.h"
#include "TVaWaitEvent.h"
#include "VaComm1Configuration.h"
#include "platform/PortNameResolver.h"

#include <QElapsedTimer>
#include <QTest>
#include <cerrno>

class TestSerialSettings : public QObject
{
    Q_OBJECT

private slots:
    void groupsNotifyOncePerBatch()
    {
        TVaFlowControl flow;
        int changes = 0;
        flow.SetOnChange([&](TVaPersistent *sender) {
            QCOMPARE(sender, &flow);
            ++changes;
        });
        flow.setOutCtsFlow(true);
        flow.setOutCtsFlow(true);
        QCOMPARE(changes, 1);
        flow.BeginUpdate();
        flow.setXonXoffIn(true);
        flow.setControlRts(rtsEnabled);
        QCOMPARE(changes, 1);
        flow.EndUpdate();
        QCOMPARE(changes, 2);
        // An unbalanced EndUpdate keeps the count at zero and still notifies.
        flow.EndUpdate();
        QCOMPARE(flow.UpdateCount(), 0);
        QCOMPARE(changes, 3);
    }

    void eventCharsNotifyEveryAssignment()
    {
        TVaEventChars chars;
        int changes = 0;
        chars.SetOnChange([&](TVaPersistent *) { ++changes; });
        chars.setXonChar(17);
        chars.setXonChar(17);
        QCOMPARE(changes, 2);
    }

    void assignCopiesWithOneNotification()
    {
        TVaBuffers source;
        source.setReadSize(100);
        source.setWriteSize(200);
        source.setReadTimeout(5);
        source.setWriteTimeout(6);
        source.setXonLimit(7);
        source.setXoffLimit(8);
        TVaBuffers target;
        int changes = 0;
        target.SetOnChange([&](TVaPersistent *) { ++changes; });
        target.Assign(&source);
        QCOMPARE(changes, 1);
        QCOMPARE(target.ReadSize(), 100);
        QCOMPARE(target.WriteSize(), 200);
        QCOMPARE(target.ReadTimeout(), 5);
        QCOMPARE(target.WriteTimeout(), 6);
        QCOMPARE(target.XonLimit(), 7);
        QCOMPARE(target.XoffLimit(), 8);

        TVaEventChars chars;
        chars.setEventChar('!');
        TVaEventChars charsCopy;
        charsCopy.Assign(&chars);
        QCOMPARE(charsCopy.EventChar(), '!');
        QCOMPARE(charsCopy.XoffChar(), char(19));
    }

    void assignFromAnotherClassRaises()
    {
        TVaFlowControl flow;
        TVaBuffers buffers;
        try {
            flow.Assign(&buffers);
            QFAIL("assigned a TVaBuffers to a TVaFlowControl");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot assign a TVaBuffers to a TVaFlowControl"));
        }
        QVERIFY_THROWS_EXCEPTION(EConvertError, buffers.Assign(nullptr));
    }

    void defaults()
    {
        TVaComm comm;
        QCOMPARE(comm.Baudrate(), br1200);
        QCOMPARE(comm.Databits(), db8);
        QCOMPARE(comm.Parity(), paNone);
        QCOMPARE(comm.Stopbits(), sb1);
        QCOMPARE(comm.PortNum(), 0);
        QCOMPARE(comm.DeviceName(), QStringLiteral("COM%d"));
        QVERIFY(comm.MonitorEvents() == TVaCommEvents({ceError, ceRxChar, ceTxEmpty}));
        QCOMPARE(comm.EventPriority(), tpNormal);
        QCOMPARE(comm.WritePriority(), tpHighest);
        QVERIFY(comm.UpdateDCB());
        QVERIFY(!comm.DirectWrite());
        QVERIFY(!comm.AutoOpen());
        QCOMPARE(comm.Buffers()->ReadSize(), 4096);
        QCOMPARE(comm.Buffers()->WriteSize(), 2048);
        QCOMPARE(comm.EventChars()->XonChar(), char(17));
        QCOMPARE(comm.EventChars()->XoffChar(), char(19));
        QCOMPARE(comm.Version(), QStringLiteral("1.4.0.1"));
        comm.setVersion(QStringLiteral("9.9"));
        QCOMPARE(comm.Version(), QStringLiteral("1.4.0.1"));
    }

    void baudrateAndUserBaudrate()
    {
        TVaComm comm;
        comm.setUserBaudrate(250000);
        QCOMPARE(comm.Baudrate(), brUser);
        QCOMPARE(comm.ComposeLineSettings({}).baudRate, 250000u);
        comm.setBaudrate(br9600);
        QCOMPARE(comm.UserBaudrate(), 0);
        QCOMPARE(comm.ComposeLineSettings({}).baudRate, 9600u);
        comm.setBaudrate(brUser);
        QCOMPARE(comm.UserBaudrate(), 0);
    }

    void lineSettingsRecord_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<quint32>("flags");
        QTest::addColumn<quint32>("baud");
        QTest::addColumn<int>("byteSize");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::newRow("defaults") << 0 << 0x0001u << 1200u << 8 << 0 << 0;
        QTest::newRow("VaComm1") << 1 << 0x0C03u << 300u << 8 << 0 << 2;
        QTest::newRow("hardware handshake") << 2 << 0x2015u << 1200u << 8 << 0 << 0;
        QTest::newRow("software flow, even parity, 7 bits") << 3 << 0x0BC1u << 1200u << 7 << 2 << 1;
        QTest::newRow("dtr handshake, dsr flow, rts toggle")
            << 4 << 0x3029u << 1200u << 8 << 0 << 0;
    }
    void lineSettingsRecord()
    {
        QFETCH(int, setup);
        TVaComm comm;
        TVaFlowControl flow;
        switch (setup) {
        case 1:
            configureAsVaComm1(comm);
            break;
        case 2:
            flow.setOutCtsFlow(true);
            flow.setControlDtr(dtrEnabled);
            flow.setControlRts(rtsHandshake);
            break;
        case 3:
            flow.setXonXoffOut(true);
            flow.setXonXoffIn(true);
            flow.setDsrSensitivity(true);
            flow.setTxContinueOnXoff(true);
            comm.setParity(paEven);
            comm.setDatabits(db7);
            comm.setStopbits(sb15);
            comm.setOptions({coNullStrip});
            break;
        case 4:
            flow.setOutDsrFlow(true);
            flow.setControlDtr(dtrHandshake);
            flow.setControlRts(rtsToggle);
            break;
        }
        if (setup != 1)
            comm.setFlowControl(flow);
        const LineSettings record = comm.ComposeLineSettings({});
        QTEST(record.flags, "flags");
        QTEST(record.baudRate, "baud");
        QTEST(int(record.byteSize), "byteSize");
        QTEST(int(record.parity), "parity");
        QTEST(int(record.stopBits), "stopBits");
        QCOMPARE(record.xonChar, char(17));
        QCOMPARE(record.xoffChar, char(19));
        QCOMPARE(record.xonLimit, quint16(1024));
        QCOMPARE(record.xoffLimit, quint16(1024));
    }

    void limitsKeepTheirLowSixteenBits()
    {
        TVaComm comm;
        TVaBuffers buffers;
        buffers.setXonLimit(0x12345);
        buffers.setXoffLimit(70000);
        comm.setBuffers(buffers);
        const LineSettings record = comm.ComposeLineSettings({});
        QCOMPARE(record.xonLimit, quint16(0x2345));
        QCOMPARE(record.xoffLimit, quint16(70000 - 65536));
    }

    void vaComm1Configuration()
    {
        TVaComm comm;
        configureAsVaComm1(comm);
        QCOMPARE(comm.PortNum(), 8);
        QCOMPARE(comm.WritePriority(), tpNormal);
        QCOMPARE(comm.FlowControl()->ControlRts(), rtsDisabled);
        QVERIFY(comm.Options() == TVaCommOptions({coErrorChar, coNullStrip, coParityCheck}));
        QCOMPARE(comm.MonitorEvents().Bits(), (1u << ceBreak) | (1u << ceCts) | (1u << ceError) |
                                                  (1u << ceRxChar) | (1u << cePErr));
    }

    void deviceNames_data()
    {
        QTest::addColumn<QString>("nameTemplate");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("formatted");
        QTest::newRow("COM8") << "COM%d" << 8 << "COM8";
        QTest::newRow("pts") << "/dev/pts/%d" << 3 << "/dev/pts/3";
        QTest::newRow("zero padded") << "/dev/ttyX%02d" << 7 << "/dev/ttyX07";
        QTest::newRow("percent sign") << "a%%b%d" << 1 << "a%b1";
        QTest::newRow("no placeholder") << "/dev/ttyS0" << 5 << "/dev/ttyS0";
        QTest::newRow("stray string placeholder") << "x%s%d%d" << 4 << "x%s4%d";
        QTest::newRow("trailing percent") << "COM%" << 4 << "COM%";
    }
    void deviceNames()
    {
        QFETCH(QString, nameTemplate);
        QFETCH(int, number);
        QTEST(FormatDeviceName(nameTemplate, number), "formatted");
    }

    void portNameResolution()
    {
        qputenv("PANTRIX_COM42", "/tmp/some-port");
        QCOMPARE(PortNameResolver::resolve(QStringLiteral("COM42")),
                 QStringLiteral("/tmp/some-port"));
        qunsetenv("PANTRIX_COM42");
        const QString fallback = PortNameResolver::resolve(QStringLiteral("COM42"));
#ifdef _WIN32
        QCOMPARE(fallback, QStringLiteral("\\\\.\\COM42"));
#else
        QVERIFY2(fallback == QStringLiteral("/dev/ttyUSB41") ||
                     fallback == QStringLiteral("/dev/ttyS41"),
                 qPrintable(fallback));
#endif
        QCOMPARE(PortNameResolver::resolve(QStringLiteral("/dev/pts/4")),
                 QStringLiteral("/dev/pts/4"));
        QCOMPARE(PortNameResolver::resolve(QStringLiteral("COM0")), QStringLiteral("COM0"));

        TVaComm comm;
        comm.setDeviceName(QStringLiteral("/dev/pts/%d"));
        comm.setPortNum(12);
        QCOMPARE(comm.DevicePath(), QStringLiteral("/dev/pts/12"));
    }

    void errorTextsAreFilledSafely()
    {
        QCOMPARE(EVaCommError::Format(QStringLiteral("Error writing dcb (%d), %s"), 22,
                                      QStringLiteral("Invalid argument")),
                 QStringLiteral("Error writing dcb (22), Invalid argument"));
        QCOMPARE(EVaCommError::Format(QStringLiteral("Specified device not found (%s)."),
                                      QStringLiteral("/dev/x%d%s")),
                 QStringLiteral("Specified device not found (/dev/x%d%s)."));
    }

    void missingDeviceRaises()
    {
        TVaComm comm;
        comm.setDeviceName(QStringLiteral("/dev/pantrix-no-such-port%d"));
        comm.setPortNum(5);
        try {
            comm.Open();
            QFAIL("opened a missing device");
        } catch (const EVaCommError &e) {
            QCOMPARE(e.message(),
                     QStringLiteral("Specified device not found (/dev/pantrix-no-such-port5)."));
        }
        QVERIFY(!comm.IsOpen());
    }

    void notATerminalRaises()
    {
#ifdef _WIN32
        const QString device = QStringLiteral("NUL");
#else
        const QString device = QStringLiteral("/dev/null");
#endif
        TVaComm comm;
        comm.setDeviceName(device);
        try {
            comm.Open();
            QFAIL("opened the null device as a port");
        } catch (const EVaCommError &e) {
            QCOMPARE(e.message(), QStringLiteral("Can't open specified device %1 (Error %2, "
                                                 "Inappropriate ioctl for device)")
                                      .arg(device)
                                      .arg(ENOTTY));
        }
        QVERIFY(!comm.IsOpen());
    }

    void closedPortDoesNothing()
    {
        TVaComm comm;
        bool closed = false;
        comm.setOnClose([&](QObject *) { closed = true; });
        char buffer[4] = {'a', 'b', 'c', 'd'};
        QCOMPARE(comm.WriteBuf(buffer, 4), 0);
        QCOMPARE(comm.ReadBuf(buffer, 4), 0);
        QCOMPARE(buffer[0], 'a');
        char ch = 'x';
        QVERIFY(!comm.ReadChar(ch));
        QCOMPARE(comm.InQueueCount(), 0);
        quint32 errors = 99;
        CommStatus status{1, 2, 3};
        comm.ReadCommStatus(errors, status);
        QCOMPARE(errors, 0u);
        QCOMPARE(status.inQueue, 0u);
        comm.SetRts(true);
        comm.ResetDevice();
        QElapsedTimer timer;
        timer.start();
        comm.Close();
        QVERIFY(timer.elapsed() < 295); // no pause after closing a closed port
        QVERIFY(!closed);
    }

    void rtsRefusedUnderHandshakeOrToggle_data()
    {
        QTest::addColumn<int>("control");
        QTest::newRow("handshake") << int(rtsHandshake);
        QTest::newRow("toggle") << int(rtsToggle);
    }
    void rtsRefusedUnderHandshakeOrToggle()
    {
        QFETCH(int, control);
        TVaComm comm;
        comm.FlowControl()->setControlRts(TVaControlRts(control));
        try {
            comm.SetRts(true);
            QFAIL("RTS accepted");
        } catch (const EVaCommError &e) {
            QCOMPARE(e.message(), QStringLiteral("RTS line updates not allowed when flowcontrol is "
                                                 "set to Handshake or Toggle."));
        }
    }

    void deadlineSurvivesWrapAround_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<quint32>("timeout");
        QTest::addColumn<quint32>("now");
        QTest::addColumn<bool>("expired");
        QTest::newRow("within") << 1000u << 100u << 1050u << false;
        QTest::newRow("at the limit") << 1000u << 100u << 1100u << false;
        QTest::newRow("past") << 1000u << 100u << 1101u << true;
        QTest::newRow("wrapped, within") << 0xFFFFFFF0u << 100u << 0x00000010u << false;
        QTest::newRow("wrapped, past") << 0xFFFFFFF0u << 100u << 0x00000060u << true;
    }
    void deadlineSurvivesWrapAround()
    {
        QFETCH(quint32, start);
        QFETCH(quint32, timeout);
        QFETCH(quint32, now);
        QTEST(MillisecondDeadline(start, timeout).ExpiredAt(now), "expired");
    }

    void writeQueueAppendsAndConsumes()
    {
        TVaCommBuffer buffer(8);
        buffer.Append("abcde", 5);
        buffer.Append("fgh", 3);
        QCOMPARE(buffer.Size(), 8);
        buffer.Consume(3);
        QCOMPARE(QByteArray(buffer.Data(), buffer.Size()), QByteArray("defgh"));
        buffer.Consume(5);
        QCOMPARE(buffer.Size(), 0);
    }

    void waitEventIsManualReset()
    {
        TVaWaitEvent event;
        QCOMPARE(event.WaitFor(0), TVaHandleObject::TimedOut);
        event.Signal();
        QCOMPARE(event.WaitFor(0), TVaHandleObject::Signaled);
        QCOMPARE(event.WaitFor(TVaHandleObject::Infinite), TVaHandleObject::Signaled);
        event.Reset();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(event.WaitFor(30), TVaHandleObject::TimedOut);
        QVERIFY(timer.elapsed() >= 25);
    }

    void criticalSectionIsReentrant()
    {
        TVaCriticalSection section;
        section.Enter();
        section.Enter();
        section.Leave();
        section.Leave();
        QVERIFY(section.try_lock());
        section.Leave();
    }
};

QTEST_GUILESS_MAIN(TestSerialSettings)
#include "tst_serialsettings.moc"
