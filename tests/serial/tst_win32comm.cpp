// The serial component on a Windows COM port: run under Wine against a
// pseudo-terminal registered as a COM port, whose far end (win32_far_end.py,
// on Linux) the test drives over a control connection. PANTRIX_TEST_COM names
// the port ("COM6"), PANTRIX_TEST_FAR_END the control address (HOST:PORT).
#include "TVaComm.h"
#include "Win32FarEnd.h"
#include "VaComm1Configuration.h"

#include <QTest>
#include <memory>
#include <windows.h>

namespace {

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EVaCommError &e) {
        return e.message();
    }
    return QString();
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

} // namespace

// Opens or fails the test with the component's own message.
#define OPEN(comm)                                                                                 \
    do {                                                                                           \
        const QString error = errorOf([&] { (comm).Open(); });                                   \
        QVERIFY2(error.isEmpty(), qPrintable(error));                                              \
    } while (false)

class TestWin32Comm : public QObject
{
    Q_OBJECT

private:
    Win32FarEnd m_far;
    std::unique_ptr<TVaComm> m_comm;
    int m_portNumber = 0;

    void makeComm()
    {
        m_comm = std::make_unique<TVaComm>();
        configureAsVaComm1(*m_comm);
        m_comm->setPortNum(m_portNumber);
    }

private slots:
    void initTestCase()
    {
        const QString port = qEnvironmentVariable("PANTRIX_TEST_COM");
        m_portNumber = port.mid(3).toInt();
        QVERIFY2(port.startsWith(u"COM") && m_portNumber > 0,
                 "PANTRIX_TEST_COM names no COM port (tools/windows/test.sh sets it)");
        QVERIFY2(m_far.connect(), "the far end does not answer (PANTRIX_TEST_FAR_END)");
    }
    void init()
    {
        QCOMPARE(m_far.ask(QStringLiteral("plug")), QStringLiteral("ok"));
        makeComm();
    }
    void cleanup()
    {
        m_comm.reset();
    }

    // Open sets the line as the window needs it, and the Linux end sees it.
    void openSetsTheLine()
    {
        OPEN(*m_comm);
        QVERIFY(m_comm->IsOpen());
        QCOMPARE(m_far.ask(QStringLiteral("line")), QStringLiteral("300 8N2"));
    }

    // RTS is what the handshake drives: up and down, seen as CTS at the far
    // end; and the far end's RTS comes back as the CTS event.
    void rtsAndCtsCrossTheLine()
    {
        int ctsEvents = 0;
        m_comm->setOnCts([&](QObject *) { ++ctsEvents; });
        OPEN(*m_comm);
        const struct
        {
            bool level;
            const char *seen;
        } steps[] = {{true, "1"}, {false, "0"}, {true, "1"}};
        for (const auto &step : steps) {
            m_comm->SetRts(step.level);
            QCOMPARE(m_far.ask(QStringLiteral("cts")), QString::fromLatin1(step.seen));
        }
        QCOMPARE(m_far.ask(QStringLiteral("rts 1")), QStringLiteral("ok"));
        QVERIFY(QTest::qWaitFor([&] { return ctsEvents >= 1; }, 5000));
    }

    // Bytes both ways through the event and write threads, at sizes below,
    // at and above one overlapped write (in pieces the write queue takes);
    // the queue count sees unread bytes.
    void bytesBothWays_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {1, 30, 4096, 10000})
            QTest::addRow("%d bytes", size) << size;
    }
    void bytesBothWays()
    {
        QFETCH(int, size);
        QByteArray sent(size, Qt::Uninitialized);
        // No zero byte: the window's port drops them on arrival.
        for (int i = 0; i < size; ++i)
            sent[i] = char(1 + i * 7 % 255);
        OPEN(*m_comm);
        for (int offset = 0; offset < size; offset += 1024) {
            const int piece = qMin(1024, size - offset);
            QCOMPARE(m_comm->WriteBuf(sent.constData() + offset, piece), piece);
        }
        QCOMPARE(m_far.take(size, 20000), sent);

        int arrivals = 0;
        m_comm->setOnRxChar([&](QObject *, int) { ++arrivals; });
        const QByteArray answer = sent.left(qMin(size, 512));
        QCOMPARE(m_far.ask(QStringLiteral("send ") + QString::fromLatin1(answer.toHex())),
                 QStringLiteral("ok"));
        QVERIFY2(QTest::qWaitFor(
                     [&] { return arrivals >= 1 && m_comm->InQueueCount() >= answer.size(); },
                     5000),
                 qPrintable(QStringLiteral("%1 reports, %2 bytes waiting")
                                .arg(arrivals)
                                .arg(m_comm->InQueueCount())));
        QByteArray got(answer.size(), '\0');
        QCOMPARE(m_comm->ReadBuf(got.data(), int(got.size())), int(answer.size()));
        QCOMPARE(got, answer);
        QCOMPARE(m_comm->InQueueCount(), 0);
    }

    // Closed and opened again on the same port, as a second connect does:
    // nothing the first open left behind keeps the bytes from the second.
    void reopenedPortStillReceives()
    {
        for (int round = 0; round < 2; ++round) {
            makeComm();
            QByteArray got;
            m_comm->setOnRxChar([&](QObject *, int) {
                char buffer[64];
                int n = 0;
                while ((n = m_comm->ReadBuf(buffer, sizeof buffer)) > 0)
                    got.append(buffer, n);
            });
            OPEN(*m_comm);
            QCOMPARE(m_far.ask(QStringLiteral("send 414243")), QStringLiteral("ok"));
            QVERIFY2(QTest::qWaitFor([&] { return got == "ABC"; }, 5000),
                     qPrintable(QStringLiteral("round %1: got \"%2\"")
                                    .arg(round)
                                    .arg(QString::fromLatin1(got))));
            m_comm->Close();
        }
    }

    // A COM port belongs to one program: a second open fails as busy and
    // leaves the first one working; after Close it opens again.
    void portIsExclusiveUntilClosed()
    {
        OPEN(*m_comm);
        TVaComm other;
        configureAsVaComm1(other);
        other.setPortNum(m_portNumber);
        const QString error = errorOf([&] { other.Open(); });
        if (underWine())
            QEXPECT_FAIL("", "Wine 8 opens a COM port that another handle holds; Windows refuses "
                             "it with access denied, which the back end reports as busy",
                         Abort);
        QVERIFY2(error.startsWith(QStringLiteral("Can't open specified device")), qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("Device or resource busy")), qPrintable(error));
        QVERIFY(m_comm->IsOpen());
        m_comm->Close();
        QVERIFY(!m_comm->IsOpen());
        OPEN(other);
        QVERIFY(other.IsOpen());
    }

    // The adapter is pulled while connected: reported once as a device
    // error, and the port still closes.
    void portThatDisappearsIsReportedOnce()
    {
        QList<int> errors;
        m_comm->setOnError([&](QObject *, int flags) { errors << flags; });
        OPEN(*m_comm);
        QCOMPARE(m_far.ask(QStringLiteral("unplug")), QStringLiteral("ok"));
        // Also a write notices the loss, as a user's next send would.
        QVERIFY(QTest::qWaitFor(
            [&] {
                m_comm->WriteBuf("x", 1);
                return !errors.isEmpty();
            },
            10000));
        QTest::qWait(300);
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first() & int(CommError::DeviceIo));
        m_comm->Close();
        QVERIFY(!m_comm->IsOpen());
    }

    void missingPortFailsAsNotFound()
    {
        TVaComm missing;
        configureAsVaComm1(missing);
        missing.setPortNum(99);
        QCOMPARE(errorOf([&] { missing.Open(); }),
                 QStringLiteral("Specified device not found (\\\\.\\COM99)."));
    }
};

QTEST_GUILESS_MAIN(TestWin32Comm)
#include "tst_win32comm.moc"
