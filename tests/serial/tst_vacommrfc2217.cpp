// The serial component on an RFC 2217 port, with the simulated display as the
// server: a COM port mapped to it through the environment, the line settings,
// the RTS handshake, echoes with 0xFF in them, and a server that goes away.
#include "DisplaySimProcess.h"
#include "FakeComPortServer.h"
#include "TVaComm.h"
#include "VaComm1Configuration.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int PortNumber = 16;
const char *const PortVariable = "PANTRIX_COM16";
const char Ack = 0x06;
const char Enq = 0x05;

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QString errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EVaCommError &e) {
        return e.message();
    }
    return QString();
}

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

const QStringList FastDisplay{"--fast"};

// Threads and open descriptors of this process, to show that nothing stays behind.
int entriesOf(const char *directory)
{
    return int(QDir(QString::fromLatin1(directory))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

// A loopback port where nobody listens: bound, so no one else takes it, but
// refusing every connection.
class ClosedPort
{
public:
    ClosedPort() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    quint16 port() const { return m_port; }

private:
    int m_fd;
    quint16 m_port = 0;
};

} // namespace

class TestVaCommRfc2217 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DisplaySimProcess> m_display;
    std::unique_ptr<TVaComm> m_comm;
    // What OnRxChar read, and what OnError reported.
    QByteArray m_received;
    QList<int> m_errors;
    int m_rxCharRuns = 0;

    // VaComm1 on COM16, which the environment maps to `target`.
    void makeComm(const QString &target)
    {
        qputenv(PortVariable, target.toUtf8());
        m_comm = std::make_unique<TVaComm>();
        configureAsVaComm1(*m_comm);
        m_comm->setPortNum(PortNumber);
        m_comm->setOnRxChar([this](QObject *, int) {
            ++m_rxCharRuns;
            char ch = 0;
            while (m_comm->ReadChar(ch))
                m_received += ch;
        });
        m_comm->setOnError([this](QObject *, int errors) { m_errors << errors; });
    }

    void openOnTheDisplay(const QStringList &options = FastDisplay)
    {
        m_display = std::make_unique<DisplaySimProcess>(options);
        QVERIFY(m_display->isListening());
        makeComm(m_display->address());
        m_comm->Open();
        QVERIFY(m_comm->IsOpen());
    }

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 3000)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

    // The bytes received so far without the display's ENQ alive signals.
    QByteArray receivedWithoutEnq() const
    {
        QByteArray bytes = m_received;
        bytes.replace(QByteArray(1, Enq), QByteArray());
        return bytes;
    }

    // RTS high and the display's ACK received.
    bool handshake()
    {
        m_comm->SetRts(true);
        return waitFor([&] { return receivedWithoutEnq().startsWith(Ack); });
    }

private slots:
    void init()
    {
        m_received.clear();
        m_errors.clear();
        m_rxCharRuns = 0;
    }
    void cleanup()
    {
        m_comm.reset();
        m_display.reset();
        qunsetenv(PortVariable);
    }

    void opensAtTheDisplaysLineSettings()
    {
        openOnTheDisplay();
        QCOMPARE(m_comm->DevicePath(), m_display->address());
        QVERIFY(m_display->waitForLines("client connected"));
        QTest::qWait(200);
        // 300 8N2 is what the display runs at: nothing to report.
        QCOMPARE(m_display->count("line:"), 0);
        QCOMPARE(m_display->count("rts:"), 0);
        QCOMPARE(m_received, QByteArray());
    }

    // Settings other than the display's show that the opening sends them, and
    // a change while open follows at once.
    void lineSettingsReachTheServer()
    {
        m_display = std::make_unique<DisplaySimProcess>(FastDisplay);
        makeComm(m_display->address());
        m_comm->setBaudrate(br1200);
        m_comm->setStopbits(sb1);
        m_comm->Open();
        QVERIFY(m_display->waitForLines("line: 1200 baud 8N1 "));
        m_comm->setBaudrate(br300);
        QVERIFY(m_display->waitForLines("line: 300 baud 8N1 "));
        m_comm->setStopbits(sb2);
        QVERIFY(m_display->waitForLines("line: 300 baud 8N2"));
        QVERIFY(m_display->log().contains("line: 300 baud 8N2"));
    }

    void rtsFollowsSetRts()
    {
        openOnTheDisplay();
        QVERIFY(handshake());
        QCOMPARE(receivedWithoutEnq(), QByteArray(1, Ack));
        QVERIFY(m_display->waitForLines("rts: high"));
        QVERIFY(m_rxCharRuns >= 1);
        // Rewriting the line settings (a speed change, an event character set
        // to its own value) keeps RTS where SetRts put it.
        m_comm->setBaudrate(br1200);
        m_comm->EventChars()->setEventChar(0);
        m_comm->setBaudrate(br300);
        QVERIFY(m_display->waitForLines("line: 300 baud 8N2"));
        QCOMPARE(m_display->count("rts: low"), 0);
        m_comm->SetRts(false);
        QVERIFY(m_display->waitForLines("rts: low"));
        // No ENQ once RTS is low: after the last one in flight nothing more comes.
        QTest::qWait(100);
        const QByteArray settled = m_received;
        QTest::qWait(700);
        QCOMPARE(m_received, settled);
    }

    void telegramComesBackAsItsEcho_data()
    {
        QTest::addColumn<QByteArray>("telegram");
        QTest::newRow("settings telegram with one 0xFF")
            << hex("1B5A4553314233433050 4F413031325630FF 4B324E30444154313031 0D0A");
        QTest::newRow("0xFF twice in a row")
            << hex("1B5A45FFFF4233433050 4F41303132563033 4B324E30444154313031 0D0A");
        QTest::newRow("0xFF and Telnet command bytes")
            << hex("1B5A45FFF0FAFBFCFDFE F1F24F4130313256 4B324E30444154FFFF31 0D0A");
        QTest::newRow("brightness telegram ending its values with 0xFF")
            << hex("1B4854 01FF1B07 01FF16273246 465A6EA0BEFF 0D0A");
    }
    void telegramComesBackAsItsEcho()
    {
        QFETCH(QByteArray, telegram);
        openOnTheDisplay();
        QVERIFY(handshake());
        m_received.clear();
        QCOMPARE(m_comm->WriteBuf(telegram.constData(), int(telegram.size())),
                 int(telegram.size()));
        QVERIFY(waitFor([&] { return receivedWithoutEnq().size() >= telegram.size(); }));
        QCOMPARE(receivedWithoutEnq(), telegram);
        const QString shown = QString::fromLatin1(telegram.toHex(' ').toUpper());
        // The display got the telegram as it was written, and echoed it.
        QVERIFY(waitFor([&] { return m_display->log().filter(shown).size() == 2; }));
        QVERIFY(m_display->waitForLines("tx: echo " + shown));
    }

    void serverStoppingIsReportedOnce_data()
    {
        QTest::addColumn<bool>("dropByServer");
        QTest::newRow("server switched off") << false;
        QTest::newRow("server drops the connection") << true;
    }
    void serverStoppingIsReportedOnce()
    {
        QFETCH(bool, dropByServer);
        openOnTheDisplay(dropByServer ? QStringList{"--fast", "--drop-after", "0.6"} : FastDisplay);
        QVERIFY(handshake());
        if (!dropByServer)
            m_display->stop();
        QVERIFY(waitFor([&] { return !m_errors.isEmpty(); }));
        QCOMPARE(m_errors, QList<int>{int(CommError::DeviceIo)});

        // Writing to the gone server neither raises nor repeats the report.
        QCOMPARE(m_comm->WriteBuf("lost", 4), 4);
        const double cpuBefore = processCpuSeconds();
        QTest::qWait(500);
        const double cpuUsed = processCpuSeconds() - cpuBefore;
        QVERIFY2(cpuUsed < 0.15, qPrintable(QStringLiteral("CPU %1 s while idle").arg(cpuUsed)));
        QCOMPARE(m_errors.size(), 1);
        char ch = 0;
        QVERIFY(!m_comm->ReadChar(ch));
        QCOMPARE(errorOf([&] { m_comm->SetRts(false); }),
                 QStringLiteral("Error calling comm function (5), Input/output error"));

        QElapsedTimer timer;
        timer.start();
        m_comm->Close();
        QVERIFY(timer.elapsed() < 20000); // no hang
        QVERIFY(!m_comm->IsOpen());
    }

    // After a lost connection the same port opens again while the server is there.
    void reopensAfterALostConnection()
    {
        openOnTheDisplay({"--fast", "--drop-after", "0.3"});
        QVERIFY(waitFor([&] { return !m_errors.isEmpty(); }));
        m_comm->Close();
        m_comm->Open();
        QVERIFY(m_comm->IsOpen());
        QVERIFY(m_display->waitForLines("client connected", 2));
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("nobody listens")
            << "closed"
            << "Can't open specified device %1 (Error 111, Connection refused)";
        QTest::newRow("server refuses COM port control")
            << "refusing"
            << "Can't open specified device %1 (Error 93, Protocol not supported)";
        QTest::newRow("malformed address")
            << "malformed"
            << "Can't open specified device %1 (Error 22, Invalid argument)";
    }
    void openFailures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        ClosedPort closed;
        std::unique_ptr<FakeComPortServer> refusing;
        QString target = QStringLiteral("rfc2217://127.0.0.1:port");
        if (kind == "closed") {
            target = QStringLiteral("rfc2217://127.0.0.1:%1").arg(closed.port());
        } else if (kind == "refusing") {
            refusing = std::make_unique<FakeComPortServer>(hex("FFFD00 FFFB00 FFFE2C"));
            target = refusing->address();
        }
        makeComm(target);
        QCOMPARE(errorOf([&] { m_comm->Open(); }), message.arg(target));
        QVERIFY(!m_comm->IsOpen());
        QCOMPARE(m_comm->PortNum(), PortNumber);
    }

    // Servers that never finish the negotiation: the open ends within its limit
    // or at once when aborted, the event loop runs all the while, and neither
    // a thread nor a socket stays behind.
    void openWaitsWithoutFreezing_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("abortAfterMs");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("leastMs");
        QTest::addColumn<int>("mostMs");
        const QString timedOut = "Can't open specified device %1 (Error 110, Connection timed out)";
        const QString aborted = "Can't open specified device %1 (Error 125, Operation canceled)";
        // The error tells a time-out from an abort; the upper bounds only keep
        // a hang from passing and leave room for a loaded machine.
        QTest::newRow("silent server") << QByteArray() << -1 << timedOut << 4500 << 30000;
        QTest::newRow("server streams NOPs") << hex("FFF1") << -1 << timedOut << 4500 << 30000;
        QTest::newRow("server streams option offers")
            << hex("FFFB01 FFFD18") << -1 << timedOut << 4500 << 30000;
        QTest::newRow("aborted while the server is silent")
            << QByteArray() << 300 << aborted << 250 << 30000;
        QTest::newRow("aborted while the server streams NOPs")
            << hex("FFF1") << 300 << aborted << 250 << 30000;
    }
    void openWaitsWithoutFreezing()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, abortAfterMs);
        QFETCH(QString, error);
        QFETCH(int, leastMs);
        QFETCH(int, mostMs);
        const int threadsBefore = entriesOf("/proc/self/task");
        const int descriptorsBefore = entriesOf("/proc/self/fd");
        auto server = std::make_unique<FakeComPortServer>(QByteArray(), false, stream);
        makeComm(server->address());

        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        int ticks = 0;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(20);
        if (abortAfterMs >= 0)
            QTimer::singleShot(abortAfterMs, Qt::PreciseTimer, [&] { m_comm->AbortOpen(); });
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(errorOf([&] { m_comm->Open(); }), error.arg(server->address()));
        const qint64 elapsed = timer.elapsed();
        ticker.stop();
        QVERIFY(!m_comm->IsOpen());
        QVERIFY2(elapsed >= leastMs && elapsed <= mostMs, qPrintable(QString::number(elapsed)));
        // The event loop ran meanwhile; how often depends on the machine's load.
        QVERIFY2(ticks >= 2, qPrintable(QStringLiteral("%1 ticks").arg(ticks)));

        server.reset();
        // A joined thread may stay listed for a moment while the system reaps it.
        QTRY_VERIFY_WITH_TIMEOUT(entriesOf("/proc/self/task") <= threadsBefore, 10000);
        QCOMPARE(entriesOf("/proc/self/fd"), descriptorsBefore);
    }

    // A port that is closed, aborted or destroyed while it opens, in either
    // form of the open: the open ends at once, its report (if any) says so,
    // and neither a thread nor a descriptor stays behind.
    void endingAnOpenWhileItRuns_data()
    {
        QTest::addColumn<bool>("blocking");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("report");
        const QString canceled = "Can't open specified device %1 (Error 125, Operation canceled)";
        for (const bool blocking : {true, false}) {
            const char *form = blocking ? "Open" : "StartOpen";
            QTest::addRow("%s, closed", form) << blocking << "close" << (blocking ? canceled : "");
            QTest::addRow("%s, aborted", form) << blocking << "abort" << canceled;
            QTest::addRow("%s, destroyed", form)
                << blocking << "destroy" << (blocking ? canceled : "");
        }
    }
    void endingAnOpenWhileItRuns()
    {
        QFETCH(bool, blocking);
        QFETCH(QString, how);
        QFETCH(QString, report);
        const int threadsBefore = entriesOf("/proc/self/task");
        const int descriptorsBefore = entriesOf("/proc/self/fd");
        {
            FakeComPortServer silent{QByteArray()};
            makeComm(silent.address());
            QStringList reports;
            m_comm->setOnOpenFinished([&](QObject *, const EVaCommError *error) {
                reports << (error ? error->message() : QStringLiteral("opened"));
            });
            const auto end = [&] {
                if (how == "close")
                    m_comm->Close();
                else if (how == "abort")
                    m_comm->AbortOpen();
                else
                    m_comm.reset();
            };
            if (blocking) {
                QTimer::singleShot(200, end);
                reports << errorOf([&] { m_comm->Open(); });
            } else {
                m_comm->StartOpen();
                QVERIFY(m_comm->IsOpening());
                QTest::qWait(200);
                end();
            }
            if (m_comm) {
                QVERIFY(!m_comm->IsOpening());
                QVERIFY(!m_comm->IsOpen());
            }
            QCOMPARE(reports.join(u'|'), report.isEmpty() ? report : report.arg(silent.address()));
            m_comm.reset();
        }
        // A joined thread may stay listed for a moment while the system reaps it.
        QTRY_VERIFY_WITH_TIMEOUT(entriesOf("/proc/self/task") <= threadsBefore, 10000);
        QCOMPARE(entriesOf("/proc/self/fd"), descriptorsBefore);
    }

    // Opens started together on one thread run side by side: a good port
    // started after several silent servers opens while they still wait, and
    // each of them ends with its own time-out.
    void opensRunSideBySide()
    {
        constexpr int SilentCount = 4;
        std::vector<std::unique_ptr<FakeComPortServer>> servers;
        std::vector<std::unique_ptr<TVaComm>> ports;
        QStringList ended;
        const auto startOpen = [&](const QString &target, const QString &name) {
            auto port = std::make_unique<TVaComm>();
            configureAsVaComm1(*port);
            port->setDeviceName(target);
            port->setOnOpenFinished([&ended, name](QObject *, const EVaCommError *error) {
                ended << name + (error ? ": " + error->message().section(u'(', -1) : ": open");
            });
            port->StartOpen();
            ports.push_back(std::move(port));
        };
        for (int i = 0; i < SilentCount; ++i) {
            servers.push_back(std::make_unique<FakeComPortServer>(QByteArray()));
            startOpen(servers.back()->address(), QStringLiteral("silent"));
        }
        m_display = std::make_unique<DisplaySimProcess>(FastDisplay);
        QVERIFY(m_display->isListening());
        startOpen(m_display->address(), QStringLiteral("good"));
        QVERIFY(waitFor([&] { return ended.size() == SilentCount + 1; }, 30000));
        QStringList expected{"good: open"};
        for (int i = 0; i < SilentCount; ++i)
            expected << "silent: Error 110, Connection timed out)";
        QCOMPARE(ended, expected);
        QVERIFY(ports.back()->IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestVaCommRfc2217)
#include "tst_vacommrfc2217.moc"
