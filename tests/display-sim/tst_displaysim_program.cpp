#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>
#include <csignal>

namespace {

const QString Program = QStringLiteral(DISPLAY_SIM_PROGRAM);
const QString ClientScript = QStringLiteral(RFC2217_CLIENT_SCRIPT);
const QString Python = QStringLiteral("/usr/bin/python3");

// Starts the simulator on a free port and returns that port, or 0.
quint16 startSimulator(QProcess &process, const QStringList &extra = {})
{
    process.start(Program, QStringList{"--listen", "127.0.0.1:0"} + extra);
    if (!process.waitForStarted(5000))
        return 0;
    static const QRegularExpression listening(
        QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
    QByteArray seen;
    while (process.waitForReadyRead(5000) || process.canReadLine()) {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            seen += line.toUtf8() + '\n';
            const QRegularExpressionMatch match = listening.match(line);
            if (match.hasMatch())
                return quint16(match.captured(1).toUInt());
        }
    }
    qWarning("simulator did not report its port: %s", seen.constData());
    return 0;
}

bool pyserialAvailable()
{
    QProcess probe;
    probe.start(Python, {"-c", "import serial.rfc2217"});
    return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit &&
           probe.exitCode() == 0;
}

} // namespace

class TestDisplaySimProgram : public QObject
{
    Q_OBJECT

private slots:
    void pyserialClient()
    {
        if (!pyserialAvailable())
            QSKIP("python3-serial is not installed for /usr/bin/python3");
        QProcess simulator;
        const quint16 port = startSimulator(simulator, {"--fast"});
        QVERIFY(port != 0);

        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(Python, {ClientScript, QString::number(port)});
        QVERIFY(client.waitForFinished(30000));
        const QString clientOutput = QString::fromUtf8(client.readAll());
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0,
                 qPrintable(clientOutput));
        QCOMPARE(clientOutput.count(QStringLiteral("ok: ")), 6);

        simulator.terminate();
        QVERIFY(simulator.waitForFinished(5000));
        QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
        QCOMPARE(simulator.exitCode(), 0);
        const QString log = QString::fromUtf8(simulator.readAllStandardOutput());
        for (const char *expected :
             {"rts: high\n", "tx: ACK 06\n", "rx: settings telegram 1B 5A 45 53 31",
              "rx: read-settings request\n", "rx: read-brightness request\n",
              "display settings: interface RS 232, baud 9600, data 8-bit none, protocol 3 \"Data "
              "<CR>\", special "
              "function 2, address 012",
              "signal 15: stopping\n"})
            QVERIFY2(log.contains(QLatin1String(expected)), qPrintable(log));
    }

    void stopsCleanlyOnSigint()
    {
        QProcess simulator;
        QVERIFY(startSimulator(simulator) != 0);
        ::kill(pid_t(simulator.processId()), SIGINT);
        QVERIFY(simulator.waitForFinished(5000));
        QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
        QCOMPARE(simulator.exitCode(), 0);
    }

    void commandLineFailures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("stdoutText");
        QTest::addColumn<QString>("stderrText");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--stop-enq-after <SECONDS>"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "pantrix-display-sim 3.0\n"
                                 << "";
        QTest::newRow("bad answer") << QStringList{"--answer", "300"} << 2 << ""
                                    << "pantrix-display-sim: --answer needs a byte from 0 to 255 "
                                       "(or 0x00 to 0xFF), not '300'.\nTry --help.\n";
        QTest::newRow("bad listen") << QStringList{"--listen", "nowhere"} << 2 << ""
                                    << "pantrix-display-sim: --listen needs HOST:PORT with an IP "
                                       "address or localhost, not 'nowhere'.\n"
                                       "Try --help.\n";
    }
    void commandLineFailures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, stdoutText);
        QFETCH(QString, stderrText);
        QProcess simulator;
        simulator.start(Program, arguments);
        QVERIFY(simulator.waitForFinished(5000));
        QCOMPARE(simulator.exitCode(), exitCode);
        QVERIFY(QString::fromUtf8(simulator.readAllStandardOutput()).contains(stdoutText));
        const QString errors = QString::fromUtf8(simulator.readAllStandardError());
        if (stderrText.isEmpty())
            QCOMPARE(errors, QString());
        else
            QVERIFY2(errors.endsWith(stderrText), qPrintable(errors));
    }

    void portInUse()
    {
        QTcpServer occupant;
        QVERIFY(occupant.listen(QHostAddress::LocalHost, 0));
        const QString address = QStringLiteral("127.0.0.1:%1").arg(occupant.serverPort());
        QProcess simulator;
        simulator.start(Program, {"--listen", address});
        QVERIFY(simulator.waitForFinished(5000));
        QCOMPARE(simulator.exitCode(), 1);
        const QString errors = QString::fromUtf8(simulator.readAllStandardError());
        QVERIFY2(errors.startsWith("pantrix-display-sim: cannot listen on " + address + ": "),
                 qPrintable(errors));
    }
};

QTEST_GUILESS_MAIN(TestDisplaySimProgram)
#include "tst_displaysim_program.moc"
