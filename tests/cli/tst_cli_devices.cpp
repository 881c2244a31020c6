#include "CliProcess.h"
#include "DisplaySimProcess.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// pantrix-cli against simulated displays, each a pantrix-display-sim process
// on its own port: every command that talks to displays, the displays'
// faults with their outcomes and exit statuses, and many displays at once.
namespace {

using CliProcess::Run;
const QString Program = CliProcess::Program;
const QByteArray Settings = CliProcess::ExampleSettings;
const QByteArray Brightness = QByteArray::fromHex("1B4854 C8C9CACBCCCDCECF D0D1D2D3D4D5D6D7 0D0A");

QJsonObject resultFor(const Run &run, const QString &port)
{
    for (const QJsonObject &object : run.objects)
        if (object["port"].toString() == port)
            return object;
    return {};
}

} // namespace

class TestCliDevices : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void commands_data();
    void commands();
    void applyChangesNothingTheSecondTime();
    void aSignalClosesEveryPort();
    void jsonIsAcceptedByPythonsJsonTool();

private:
    void writeFile(const QString &name, const QByteArray &bytes);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestCliDevices::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    writeFile("site.esv", Settings);
    writeFile("site.hsv", Brightness);
}

void TestCliDevices::writeFile(const QString &name, const QByteArray &bytes)
{
    QFile file(m_dir->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void TestCliDevices::commands_data()
{
    // Each display is a simulator started with these switches; "%1", "%2"
    // in the arguments stand for the displays' ports.
    QTest::addColumn<QList<QStringList>>("displays");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("outcomes"); // per display, "outcome/reason"
    QTest::addColumn<QString>("logged");       // a line the first display logs

    const QStringList fast{"--fast"};
    QTest::newRow("read settings of two displays")
        << QList<QStringList>{fast, {}}
        << QStringList{"read-settings", "--port", "%1", "--port", "%2"} << 0
        << QStringList{"done/", "done/"} << "tx: settings record";
    QTest::newRow("read brightness into a file")
        << QList<QStringList>{fast}
        << QStringList{"read-brightness", "--port", "%1", "--out", "read.hsv"} << 0
        << QStringList{"done/"} << "tx: brightness record";
    QTest::newRow("send settings")
        << QList<QStringList>{fast} << QStringList{"send-settings", "--port", "%1", "site.esv"} << 0
        << QStringList{"done/"} << "rx: settings telegram 1B 5A 45 53 31 42 33";
    QTest::newRow("send brightness")
        << QList<QStringList>{fast} << QStringList{"send-brightness", "--port", "%1", "site.hsv"}
        << 0 << QStringList{"done/"} << "rx: brightness telegram 1B 48 54 C8";
    QTest::newRow("apply both records")
        << QList<QStringList>{fast, fast}
        << QStringList{"apply", "--settings", "site.esv", "--brightness", "site.hsv", "--port",
                       "%1",    "--port",     "%2"}
        << 0 << QStringList{"changed/", "changed/"} << "rx: brightness telegram";
    QTest::newRow("user string with escapes")
        << QList<QStringList>{fast} << QStringList{"user-string", "--port", "%1", "AB#0331"} << 0
        << QStringList{"done/"} << "rx: ignored 41 42 21 31";
    QTest::newRow("wrong answer to RTS") << QList<QStringList>{{"--fast", "--answer", "0x15"}}
                                         << QStringList{"read-settings", "--port", "%1"} << 1
                                         << QStringList{"failed/wrong-answer"} << "tx: ";
    QTest::newRow("silent display") << QList<QStringList>{{"--fast", "--silent"}}
                                    << QStringList{"read-settings", "--port", "%1"} << 1
                                    << QStringList{"failed/no-ack"} << "rts: high";
    QTest::newRow("corrupted echo")
        << QList<QStringList>{{"--fast", "--corrupt-echo", "29"}}
        << QStringList{"send-settings", "--port", "%1", "site.esv"} << 1
        << QStringList{"failed/echo-differs"} << "rx: settings telegram";
    QTest::newRow("connection dropped")
        << QList<QStringList>{{"--drop-after", "1"}}
        << QStringList{"apply", "--settings", "site.esv", "--port", "%1"} << 1
        << QStringList{"failed/port-lost"} << "client connected";
    QTest::newRow("one failure does not stop the other display")
        << QList<QStringList>{fast, {"--fast", "--silent"}}
        << QStringList{"read-settings", "--port", "%1", "--port", "%2"} << 1
        << QStringList{"done/", "failed/no-ack"} << "tx: settings record";
    QTest::newRow("nothing listening")
        << QList<QStringList>{} << QStringList{"read-settings", "--port", "rfc2217://127.0.0.1:1"}
        << 1 << QStringList{} << QString();
    QTest::newRow("no port") << QList<QStringList>{} << QStringList{"read-settings"} << 2
                             << QStringList{} << QString();
    QTest::newRow("a port twice") << QList<QStringList>{fast}
                                  << QStringList{"read-settings", "--port", "%1", "--port", "%1"}
                                  << 2 << QStringList{} << QString();
    QTest::newRow("bad escape is refused before connecting")
        << QList<QStringList>{fast} << QStringList{"user-string", "--port", "%1", "A#12x"} << 2
        << QStringList{} << QString();
}

void TestCliDevices::commands()
{
    QFETCH(QList<QStringList>, displays);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, outcomes);
    QFETCH(QString, logged);

    std::vector<std::unique_ptr<DisplaySimProcess>> sims;
    for (const QStringList &options : displays) {
        sims.push_back(std::make_unique<DisplaySimProcess>(options));
        QVERIFY(sims.back()->isListening());
    }
    for (QString &argument : arguments)
        for (std::size_t i = 0; i < sims.size(); ++i)
            argument.replace(QStringLiteral("%%1").arg(i + 1), sims[i]->address());

    QProcess process;
    CliProcess::start(process, QStringList{arguments.first(), "--json"} + arguments.mid(1),
                      m_dir->path());
    const Run run = CliProcess::finish(process);
    QVERIFY2(run.status == status,
             qPrintable(QStringLiteral("status %1\n%2%3").arg(run.status).arg(run.out, run.err)));
    for (int i = 0; i < outcomes.size(); ++i) {
        const QJsonObject result = resultFor(run, sims[i]->address());
        const QString got = result["outcome"].toString() + u'/' + result["reason"].toString();
        QCOMPARE(got, outcomes[i]);
        if (result["outcome"] == QLatin1String("failed")) {
            QVERIFY(!result["error"].toString().isEmpty());
            QVERIFY2(run.err.contains(sims[i]->address()), qPrintable(run.err));
        }
    }
    if (status == 1 && outcomes.isEmpty()) // a port that refuses: the reason says so
        QVERIFY2(run.err.contains("cannot open rfc2217://127.0.0.1:1"), qPrintable(run.err));
    if (!logged.isEmpty())
        QVERIFY2(sims.front()->waitForLines(logged), qPrintable(sims.front()->log().join(u'\n')));
    if (arguments.contains("read.hsv")) {
        QFile saved(m_dir->filePath("read.hsv"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(saved.readAll().toHex(' ').toUpper()),
                 run.objects.value(0)["brightness"].toObject()["hex"].toString());
    }
    // Every port the program opened was closed with RTS low (unless the
    // display's side dropped the connection first).
    for (auto &sim : sims)
        if (sim->count("rts: high") > 0 && sim->count("client disconnected: dropped") == 0)
            QVERIFY2(sim->waitForLines("rts: low", sim->count("rts: high")),
                     qPrintable(sim->log().join(u'\n')));
}

void TestCliDevices::applyChangesNothingTheSecondTime()
{
    DisplaySimProcess sim({"--fast"});
    QVERIFY(sim.isListening());
    const QStringList arguments{"apply",        "--json",   "--settings", "site.esv",
                                "--brightness", "site.hsv", "--port",     sim.address()};
    QStringList outcomes;
    for (int run = 0; run < 2; ++run) {
        QProcess process;
        CliProcess::start(process, arguments, m_dir->path());
        const Run result = CliProcess::finish(process);
        QCOMPARE(result.status, 0);
        outcomes << result.objects.value(0)["outcome"].toString();
    }
    QCOMPARE(outcomes, (QStringList{"changed", "unchanged"}));
    QVERIFY(sim.waitForLines("rx: brightness telegram"));
    QCOMPARE(sim.count("rx: settings telegram"), 1);
    QCOMPARE(sim.count("rx: brightness telegram"), 1);
}

void TestCliDevices::aSignalClosesEveryPort()
{
    // Paced displays: the transfers are still running when the signal comes.
    DisplaySimProcess first({});
    DisplaySimProcess second({});
    QVERIFY(first.isListening() && second.isListening());
    QProcess process;
    CliProcess::start(process,
                      {"apply", "--json", "--settings", "site.esv", "--port", first.address(),
                       "--port", second.address()},
                      m_dir->path());
    QVERIFY(first.waitForLines("rts: high", 1, 10000));
    ::kill(pid_t(process.processId()), SIGTERM);
    const Run run = CliProcess::finish(process);
    QCOMPARE(run.status, 1);
    for (DisplaySimProcess *sim : {&first, &second}) {
        QCOMPARE(resultFor(run, sim->address())["reason"].toString(), QStringLiteral("cancelled"));
        QVERIFY(sim->waitForLines("rts: low", sim->count("rts: high")));
    }
}

void TestCliDevices::jsonIsAcceptedByPythonsJsonTool()
{
    DisplaySimProcess sim({"--fast"});
    QVERIFY(sim.isListening());
    QProcess cli;
    QProcess tool;
    cli.setStandardOutputProcess(&tool);
    cli.setWorkingDirectory(m_dir->path());
    tool.start("/usr/bin/python3", {"-m", "json.tool", "--json-lines"});
    cli.start(Program, {"read-settings", "--json", "--port", sim.address(), "--port",
                        "rfc2217://127.0.0.1:1"});
    QVERIFY(cli.waitForFinished(60000));
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 1);
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(tool.readAllStandardOutput().contains("\"blank-after-timeout\": false"));
}

QTEST_GUILESS_MAIN(TestCliDevices)
#include "tst_cli_devices.moc"
