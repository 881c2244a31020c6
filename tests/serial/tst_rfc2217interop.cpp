// The serial component against an RFC 2217 server written elsewhere: the
// server example that python3-serial ships, serving pyserial's loop:// port,
// which sends back every byte written and shows RTS as CTS and DTR as DSR.
#include "TVaComm.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString Python = QStringLiteral("/usr/bin/python3");
const QString ServerExample =
    QStringLiteral("/usr/share/doc/python3-serial/examples/rfc2217_server.py");
constexpr int PortNumber = 21;
const char *const PortVariable = "PANTRIX_COM21";
// The example looks at the modem lines once a second.
constexpr int ModemPollMs = 3000;

bool pyserialAvailable()
{
    if (!QFileInfo::exists(ServerExample))
        return false;
    QProcess probe;
    probe.start(Python, {"-c", "import serial.rfc2217"});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

// A port that was free a moment ago on every interface, where the example listens.
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

// The example server on loop://, with its log (it logs on standard error).
class ExampleServer
{
public:
    ~ExampleServer()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Tries a few ports, in case another program takes the free one first.
    bool start()
    {
        for (int attempt = 0; attempt < 3 && m_port == 0; ++attempt)
            startOn(freePort());
        return m_port != 0;
    }

    QString address() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port); }

    int count(const QString &text)
    {
        m_log += QString::fromUtf8(m_process.readAll());
        return int(m_log.count(text));
    }
    QString log() const { return m_log; }

private:
    void startOn(quint16 port)
    {
        m_process.kill();
        m_process.waitForFinished(5000);
        m_log.clear();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        // A test that crashes or is stopped takes its server with it.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_process.start(Python, {ServerExample, "-v", "-p", QString::number(port), "loop://"});
        const QString ready = QStringLiteral("TCP/IP port: %1").arg(port);
        while (m_process.waitForReadyRead(5000)) {
            if (count(ready) > 0) {
                m_port = port;
                return;
            }
        }
    }

    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
};

} // namespace

class TestRfc2217Interop : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ExampleServer> m_server;
    std::unique_ptr<TVaComm> m_comm;
    QByteArray m_received;
    int m_ctsChanges = 0;
    int m_dsrChanges = 0;

    // A port at the window's line settings, but keeping zero bytes, so that
    // every byte value can come back.
    void openOnTheServer()
    {
        qputenv(PortVariable, m_server->address().toUtf8());
        m_comm = std::make_unique<TVaComm>();
        m_comm->setBaudrate(br300);
        m_comm->setStopbits(sb2);
        m_comm->setPortNum(PortNumber);
        m_comm->setMonitorEvents({ceCts, ceDsr, ceError, ceRxChar});
        m_comm->setOnRxChar([this](QObject *, int) {
            char buffer[256];
            int got = 0;
            while ((got = m_comm->ReadBuf(buffer, sizeof buffer)) > 0)
                m_received.append(buffer, got);
        });
        m_comm->setOnCts([this](QObject *) { ++m_ctsChanges; });
        m_comm->setOnDsr([this](QObject *) { ++m_dsrChanges; });
        m_comm->Open();
    }

private slots:
    void init()
    {
        if (!pyserialAvailable())
            QSKIP("python3-serial or its RFC 2217 server example is not installed");
        m_received.clear();
        m_ctsChanges = 0;
        m_dsrChanges = 0;
        m_server = std::make_unique<ExampleServer>();
        QVERIFY2(m_server->start(), qPrintable(m_server->log()));
    }
    void cleanup()
    {
        // The server found nothing in what this side sent to warn about.
        if (m_server && m_comm) {
            m_server->count(QString());
            const QString log = m_server->log();
            QVERIFY2(!log.contains("WARNING:") && !log.contains("ERROR:"), qPrintable(log));
        }
        m_comm.reset();
        m_server.reset();
        qunsetenv(PortVariable);
    }

    void bytesComeBackUnchanged_data()
    {
        QTest::addColumn<QByteArray>("data");
        QByteArray everyValue;
        for (int value = 0; value < 256; ++value)
            everyValue.append(char(value));
        QTest::newRow("every byte value") << everyValue;
        QTest::newRow("a run of 0xFF") << QByteArray(100, char(0xFF));
        QTest::newRow("Telnet commands as data")
            << QByteArray::fromHex("FFFA2C0100FFF0 FFFB00 FFFD2C FFF1 FF");
    }
    void bytesComeBackUnchanged()
    {
        QFETCH(QByteArray, data);
        openOnTheServer();
        QVERIFY(QTest::qWaitFor([&] { return m_server->count("client accepts RFC 2217") > 0; }));
        QCOMPARE(m_comm->WriteBuf(data.constData(), int(data.size())), int(data.size()));
        QVERIFY(QTest::qWaitFor([&] { return m_received.size() >= data.size(); }, 5000));
        QCOMPARE(m_received, data);
        // The server took the line settings as this side sent them.
        QCOMPARE(m_server->count("set baud rate: 300"), 1);
        QCOMPARE(m_server->count("set data size: 8"), 1);
        QCOMPARE(m_server->count("set parity: N"), 1);
        QCOMPARE(m_server->count("set stop bits: 2"), 1);
    }

    // The server raises RTS and DTR when a client connects; the line settings
    // lower them, and SetRts moves RTS. The loop shows each on CTS (and DTR on
    // DSR), which the server reports back as modem state notifications.
    void rtsChangesArrive()
    {
        openOnTheServer();
        QVERIFY(
            QTest::qWaitFor([&] { return m_ctsChanges == 1 && m_dsrChanges == 1; }, ModemPollMs));
        QCOMPARE(m_server->count("changed RTS to inactive"), 1);
        QCOMPARE(m_server->count("changed DTR to inactive"), 1);

        m_comm->SetRts(true);
        QVERIFY(QTest::qWaitFor([&] { return m_ctsChanges == 2; }, ModemPollMs));
        QCOMPARE(m_server->count("changed RTS to active"), 1);
        m_comm->SetRts(false);
        QVERIFY(QTest::qWaitFor([&] { return m_ctsChanges == 3; }, ModemPollMs));
        QCOMPARE(m_server->count("changed RTS to inactive"), 2);
        QCOMPARE(m_dsrChanges, 1);
    }
};

QTEST_GUILESS_MAIN(TestRfc2217Interop)
#include "tst_rfc2217interop.moc"
