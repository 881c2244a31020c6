#include "CliProcess.h"
#include "DisplaySimProcess.h"
#include "FakeComPortServer.h"
#include "PtyPair.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The data bytes of what an RFC 2217 client sent, without its Telnet commands.
QByteArray dataOf(const QByteArray &raw)
{
    QByteArray data;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (quint8(raw[i]) != 0xFF) {
            data += raw[i];
            continue;
        }
        if (i + 1 >= raw.size())
            break;
        const auto command = quint8(raw[i + 1]);
        if (command == 0xFF) {
            data += raw[i++];
        } else if (command == 0xFA) { // a subnegotiation, up to IAC SE
            const qsizetype end = raw.indexOf("\xff\xf0", i);
            if (end < 0)
                break;
            i = end + 1;
        } else {
            i += command >= 0xFB ? 2 : 1;
        }
    }
    return data;
}

// Plays a display on a scripted port server until `cli` has ended: ACK when
// RTS rises, ENQ between answers, the echo of each telegram, and the next of
// `replies` for each read request. Returns how many telegrams it echoed.
int playDisplay(FakeComPortServer &server, QProcess &cli, QList<QByteArray> replies)
{
    int echoed = 0;
    if (!server.waitForClient())
        return echoed;
    const QByteArray rtsHigh = QByteArray::fromHex("fffa2c050bfff0");
    QByteArray raw;
    qsizetype used = 0;
    bool acked = false;
    QElapsedTimer sinceEnq;
    sinceEnq.start();
    while (!cli.waitForFinished(0)) {
        raw += server.receive(50);
        if (!acked && raw.contains(rtsHigh))
            acked = server.send("\x06");
        const QByteArray data = dataOf(raw);
        while (used < data.size()) {
            const QByteArray rest = data.mid(used);
            const int telegram = rest.startsWith("\x1bZE")   ? 30
                                 : rest.startsWith("\x1bHT") ? 21
                                                             : 0;
            if (rest.startsWith("\x1bYA\r\n") || rest.startsWith("\x1bSt\r\n")) {
                server.send(replies.isEmpty() ? QByteArray() : replies.takeFirst());
                used += 5;
            } else if (telegram > 0 && rest.size() >= telegram) {
                server.send(rest.left(telegram));
                used += telegram;
                ++echoed;
            } else if (rest.startsWith('\x1b') && rest.size() < 30) {
                break; // the rest of a request or telegram is on its way
            } else {
                ++used;
            }
        }
        if (acked && sinceEnq.elapsed() >= 300) {
            server.send("\x05");
            sinceEnq.restart();
        }
    }
    return echoed;
}

// Distinct loopback ports where nothing listens, below the range the system
// hands out for port 0 (so no simulator of a test beside this one is there).
QStringList refusingPorts(int count)
{
    int first = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly))
        first = range.readAll().simplified().split(' ').value(0).toInt();
    QStringList ports;
    for (int port = 1024; port < first && ports.size() < count; ++port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(port));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
            ports << QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
        ::close(fd);
    }
    return ports;
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
    void exitStatusWhereverTheFailureStands_data();
    void exitStatusWhereverTheFailureStands();
    void brightnessLevelsAreTheRecordsValues_data();
    void brightnessLevelsAreTheRecordsValues();
    void applyWithOneRecordDiffering_data();
    void applyWithOneRecordDiffering();
    void undecodableRecordsAreRefused_data();
    void undecodableRecordsAreRefused();
    void jobsBoundHowManyDisplaysRunAtOnce_data();
    void jobsBoundHowManyDisplaysRunAtOnce();
    void usageErrors_data();
    void usageErrors();
    void manyRefusedPortsEndInOneResultEach();
    void floodingServer_data();
    void floodingServer();
    void portsThatDoNotOpenCarryTheirHint_data();
    void portsThatDoNotOpenCarryTheirHint();
    void theFarEndOfAPseudoTerminalIsNoHolder();

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
    QTest::newRow("connection dropped while a user string drains")
        << QList<QStringList>{{"--drop-after", "1"}}
        << QStringList{"user-string", "--port", "%1", QString(60, u'x')} << 1
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

void TestCliDevices::exitStatusWhereverTheFailureStands_data()
{
    QTest::addColumn<int>("failing"); // the position of the refused port, -1 for none
    QTest::newRow("first fails") << 0;
    QTest::newRow("middle fails") << 1;
    QTest::newRow("last fails") << 2;
    QTest::newRow("none fails") << -1;
}

void TestCliDevices::exitStatusWhereverTheFailureStands()
{
    QFETCH(int, failing);
    DisplaySimProcess first({"--fast"});
    DisplaySimProcess second({"--fast"});
    QVERIFY(first.isListening() && second.isListening());
    QStringList ports{first.address(), second.address()};
    if (failing >= 0)
        ports.insert(failing, refusingPorts(1).value(0));
    QStringList arguments{"read-settings", "--json"};
    for (const QString &port : ports)
        arguments << "--port" << port;
    const Run run = CliProcess::run(arguments, m_dir->path());
    QCOMPARE(run.status, failing >= 0 ? 1 : 0);
    QCOMPARE(run.objects.size(), ports.size());
    for (int i = 0; i < ports.size(); ++i) {
        QCOMPARE(run.objects[i]["port"].toString(), ports[i]);
        QCOMPARE(run.objects[i]["reason"].toString(),
                 i == failing ? QStringLiteral("cannot-open") : QString());
    }
}

void TestCliDevices::brightnessLevelsAreTheRecordsValues_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<int>>("levels");
    QTest::newRow("read: the display's record")
        << QStringList{"read-brightness"}
        << QList<int>{1, 6, 8, 12, 16, 22, 39, 50, 70, 90, 110, 160, 190, 200, 210, 240};
    QTest::newRow("send: the file's record") << QStringList{"send-brightness", "site.hsv"}
                                             << QList<int>{200, 201, 202, 203, 204, 205, 206, 207,
                                                           208, 209, 210, 211, 212, 213, 214, 215};
}

void TestCliDevices::brightnessLevelsAreTheRecordsValues()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<int>, levels);
    DisplaySimProcess sim({"--fast"});
    QVERIFY(sim.isListening());
    const Run run =
        CliProcess::run(arguments + QStringList{"--json", "--port", sim.address()}, m_dir->path());
    QCOMPARE(run.status, 0);
    const QJsonObject brightness = run.objects.value(0)["brightness"].toObject();
    QList<int> got;
    for (const QJsonValue &level : brightness["levels"].toArray())
        got << level.toInt();
    QCOMPARE(got, levels);
    QVERIFY(brightness["hex"].toString().startsWith("1B 48 54 "));
}

void TestCliDevices::applyWithOneRecordDiffering_data()
{
    QTest::addColumn<bool>("settingsDiffer");
    QTest::newRow("only the settings differ") << true;
    QTest::newRow("only the brightness differs") << false;
}

void TestCliDevices::applyWithOneRecordDiffering()
{
    QFETCH(bool, settingsDiffer);
    DisplaySimProcess sim({"--fast"});
    QVERIFY(sim.isListening());
    // What the display holds now, as files.
    QCOMPARE(CliProcess::run({"read-settings", "--port", sim.address(), "--out", "held.esv"},
                             m_dir->path())
                 .status,
             0);
    QCOMPARE(CliProcess::run({"read-brightness", "--port", sim.address(), "--out", "held.hsv"},
                             m_dir->path())
                 .status,
             0);
    const QString settings = settingsDiffer ? "site.esv" : "held.esv";
    const QString brightness = settingsDiffer ? "held.hsv" : "site.hsv";
    const Run run = CliProcess::run({"apply", "--json", "--settings", settings, "--brightness",
                                     brightness, "--port", sim.address()},
                                    m_dir->path());
    QCOMPARE(run.status, 0);
    QCOMPARE(run.objects.value(0)["outcome"].toString(), QStringLiteral("changed"));
    const QString sent = settingsDiffer ? "rx: settings telegram" : "rx: brightness telegram";
    const QString kept = settingsDiffer ? "rx: brightness telegram" : "rx: settings telegram";
    QVERIFY(sim.waitForLines(sent));
    QCOMPARE(sim.count(kept), 0);
    const QJsonObject record =
        run.objects.value(0)[settingsDiffer ? "settings" : "brightness"].toObject();
    const QByteArray wanted = settingsDiffer ? Settings : Brightness;
    QCOMPARE(record["hex"].toString(), QString::fromLatin1(wanted.toHex(' ').toUpper()));
}

void TestCliDevices::undecodableRecordsAreRefused_data()
{
    // "%1" is the scripted display's port; old.esv and old.hsv hold good records.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<QByteArray>>("replies"); // to the read requests, in turn
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("sent"); // a telegram went to the display
    QByteArray badField = Settings;
    badField[6] = 'x';
    QByteArray badTail = Brightness;
    badTail[20] = '\r';
    QTest::newRow("settings: 30 x 'A', --out kept")
        << QStringList{"read-settings", "--port", "%1", "--out", "old.esv"}
        << QList<QByteArray>{QByteArray(30, 'A')}
        << "the settings record starts 41 41 41, not ESC \"Z\" \"E\" (1B 5A 45)" << false;
    QTest::newRow("brightness: 21 x 'A', --out kept")
        << QStringList{"read-brightness", "--port", "%1", "--out", "old.hsv"}
        << QList<QByteArray>{QByteArray(21, 'A')}
        << "the brightness record starts 41 41 41, not ESC \"H\" \"T\"" << false;
    QTest::newRow("settings: a field that is no digit")
        << QStringList{"read-settings", "--port", "%1", "--out", "old.esv"}
        << QList<QByteArray>{badField}
        << "the settings record's baud-rate holds 'x' (0x78), not a digit" << false;
    QTest::newRow("brightness: a wrong tail")
        << QStringList{"read-brightness", "--port", "%1"} << QList<QByteArray>{badTail}
        << "the brightness record ends 0D 0D, not CR LF (0D 0A)" << false;
    QTest::newRow("apply: an undecodable record is replaced, its read-back must decode")
        << QStringList{"apply", "--settings", "site.esv", "--port", "%1"}
        << QList<QByteArray>{QByteArray(30, 'A'), QByteArray(30, 'A')}
        << "the settings record starts 41 41 41" << true;
}

void TestCliDevices::undecodableRecordsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<QByteArray>, replies);
    QFETCH(QString, error);
    QFETCH(bool, sent);
    writeFile("old.esv", Settings);
    writeFile("old.hsv", Brightness);
    FakeComPortServer server;
    QVERIFY(server.isListening());
    arguments.replaceInStrings("%1", server.address());
    QProcess process;
    CliProcess::start(process, QStringList{arguments.first(), "--json"} + arguments.mid(1),
                      m_dir->path());
    const int echoed = playDisplay(server, process, replies);
    const Run run = CliProcess::finish(process);
    QCOMPARE(run.status, 1);
    const QJsonObject result = run.objects.value(0);
    QCOMPARE(result["reason"].toString(), QStringLiteral("bad-record"));
    QVERIFY2(result["error"].toString().contains(error), qPrintable(result["error"].toString()));
    QVERIFY2(run.err.contains(error), qPrintable(run.err));
    // What came is shown for what it is; a good record was never replaced by it.
    const QString record = arguments.contains("read-brightness") ? "brightness" : "settings";
    QCOMPARE(result[record].toObject()["hex"].toString(),
             QString::fromLatin1(replies.last().toHex(' ').toUpper()));
    QCOMPARE(echoed > 0, sent);
    QCOMPARE(readFile(m_dir->filePath("old.esv")), Settings);
    QCOMPARE(readFile(m_dir->filePath("old.hsv")), Brightness);
}

void TestCliDevices::jobsBoundHowManyDisplaysRunAtOnce_data()
{
    QTest::addColumn<QStringList>("jobs");
    QTest::addColumn<int>("atOnce");
    QTest::newRow("--jobs 1") << QStringList{"--jobs", "1"} << 1;
    QTest::newRow("--jobs 2") << QStringList{"--jobs", "2"} << 2;
    QTest::newRow("default: all three") << QStringList{} << 3;
}

void TestCliDevices::jobsBoundHowManyDisplaysRunAtOnce()
{
    QFETCH(QStringList, jobs);
    QFETCH(int, atOnce);
    // Each job lasts at least the connect pause, while the next one's first
    // step comes at once: jobs that may overlap do.
    std::vector<std::unique_ptr<DisplaySimProcess>> sims;
    QStringList arguments{"read-settings", "--json"};
    for (int i = 0; i < 3; ++i) {
        sims.push_back(std::make_unique<DisplaySimProcess>(QStringList{"--fast"}));
        QVERIFY(sims.back()->isListening());
        arguments << "--port" << sims.back()->address();
    }
    // Standard error on a terminal shows each display's steps, in order.
    PtyPair terminal;
    QVERIFY(terminal.isValid());
    QProcess process;
    process.setStandardErrorFile(terminal.slavePath());
    CliProcess::start(process, arguments + jobs, m_dir->path());
    const Run run = CliProcess::finish(process);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.objects.size(), 3);
    QSet<QString> running;
    int most = 0;
    const QString steps = QString::fromUtf8(terminal.drain());
    for (const QString &line : steps.split(u'\n', Qt::SkipEmptyParts)) {
        const QString port = line.section(QStringLiteral(": "), 0, 0);
        if (line.contains(": done...") || line.contains(": failed..."))
            running.remove(port);
        else
            running.insert(port);
        most = std::max(most, int(running.size()));
    }
    QVERIFY2(most == atOnce, qPrintable(steps));
}

void TestCliDevices::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<int>("portsInFile"); // distinct names in ports.txt, the first again last
    QTest::addColumn<QString>("error");
    const QString refused = "rfc2217://127.0.0.1:1";
    QTest::newRow("--jobs 0") << QStringList{"--jobs", "0", "--port", refused} << QStringList{} << 0
                              << "--jobs takes a number of displays, 1 or more, not \"0\"";
    QTest::newRow("--jobs that is no number")
        << QStringList{"--jobs", "all", "--port", refused} << QStringList{} << 0
        << "--jobs takes a number of displays, 1 or more, not \"all\"";
    QTest::newRow("COM3 and com3") << QStringList{"--port", "COM3", "--port", "com3"}
                                   << QStringList{} << 0 << "port com3 is named twice";
    QTest::newRow("COM7 and the target the environment gives it")
        << QStringList{"--port", "COM7", "--port", refused}
        << QStringList{"PANTRIX_COM7=" + refused} << 0
        << "port " + refused + " is named twice (COM7 reaches " + refused + " too)";
    QTest::newRow("40,000 names in a ports file, one of them twice")
        << QStringList{"--ports-file", "ports.txt"} << QStringList{} << 40000
        << "port rfc2217://10.0.0.0:4001 is named twice";
}

void TestCliDevices::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(int, portsInFile);
    QFETCH(QString, error);
    if (portsInFile > 0) {
        QByteArray text;
        for (int i = 0; i < portsInFile; ++i)
            text +=
                QStringLiteral("rfc2217://10.0.%1.%2:4001\n").arg(i / 256).arg(i % 256).toLatin1();
        writeFile("ports.txt", text + "rfc2217://10.0.0.0:4001\n");
    }
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.insert("PANTRIX_PORTS_FILE", m_dir->filePath("no-ports-map"));
    for (const QString &variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(variables);
    CliProcess::start(process, QStringList{"read-settings"} + arguments, m_dir->path());
    const Run run = CliProcess::finish(process);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(error), qPrintable(run.err));
}

void TestCliDevices::manyRefusedPortsEndInOneResultEach()
{
    const QStringList ports = refusingPorts(12000);
    QCOMPARE(ports.size(), 12000);
    writeFile("ports.txt", ports.join(u'\n').toLatin1());
    QProcess process;
    CliProcess::start(process, {"read-settings", "--json", "--ports-file", "ports.txt"},
                      m_dir->path());
    // Each of the 12,000 opens costs a little processor time; a busy machine
    // may give the program only a small share of it.
    const Run run = CliProcess::finish(process, 600000);
    QCOMPARE(run.status, 1);
    QCOMPARE(run.objects.size(), ports.size());
    for (int i = 0; i < ports.size(); ++i) {
        QCOMPARE(run.objects[i]["port"].toString(), ports[i]);
        QCOMPARE(run.objects[i]["reason"].toString(), QStringLiteral("cannot-open"));
    }
}

void TestCliDevices::floodingServer_data()
{
    QTest::addColumn<bool>("duringRead");
    QTest::addColumn<QString>("reason");
    // Flooded with ENQ while it waits for ACK, the program still takes a
    // signal, long before the ACK's time runs out.
    QTest::newRow("ENQ during the connect, then a signal") << false << "cancelled";
    // Flooded with bytes after the read request, it takes 30 of them and
    // refuses them as a record.
    QTest::newRow("bytes during a read") << true << "bad-record";
}

void TestCliDevices::floodingServer()
{
    QFETCH(bool, duringRead);
    QFETCH(QString, reason);
    writeFile("old.esv", Settings);
    FakeComPortServer server;
    QVERIFY(server.isListening());
    QProcess process;
    CliProcess::start(process,
                      {"read-settings", "--json", "--port", server.address(), "--out", "old.esv"},
                      m_dir->path());
    QVERIFY(server.waitForClient());
    const QByteArray rtsHigh = QByteArray::fromHex("fffa2c050bfff0");
    QByteArray raw;
    QElapsedTimer clock;
    clock.start();
    while (!raw.contains(rtsHigh) && clock.elapsed() < 30000)
        raw += server.receive(20);
    QVERIFY(raw.contains(rtsHigh));
    if (duringRead) {
        server.send("\x06");
        while (!dataOf(raw).contains("\x1bYA\r\n") && clock.elapsed() < 30000)
            raw += server.receive(20);
    }
    // The flood runs until the program has gone; the signal comes while it runs.
    const QByteArray flood(4096, duringRead ? 'A' : '\x05');
    std::thread flooder([&server, flood] {
        while (server.send(flood)) {
        }
    });
    if (!duringRead) {
        QTest::qSleep(300);
        ::kill(pid_t(process.processId()), SIGTERM);
    }
    const Run run = CliProcess::finish(process);
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
    }
    flooder.join(); // the program's end closed the connection

    QCOMPARE(run.status, 1);
    QCOMPARE(run.objects.value(0)["reason"].toString(), reason);
    QCOMPARE(readFile(m_dir->filePath("old.esv")), Settings);
}

void TestCliDevices::portsThatDoNotOpenCarryTheirHint_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("hint"); // %1: the port, %2: the holder's pid
    QTest::newRow("refused COM port server")
        << "refused"
        << "(Error 111, Connection refused)"
        << "Nothing accepts connections at %1: is the COM port server (or "
           "pantrix-display-sim) running there?";
    QTest::newRow("missing device")
        << "missing"
        << "Specified device not found (%1)."
        << "There is no device %1. Check that the adapter is plugged in";
    // A terminal program such as minicom holds the port without any lock;
    // the port is named through a link of its own, as /dev/serial/by-id/ does.
    QTest::newRow("port held by another program")
        << "held"
        << "(Error 16, Device or resource busy)"
        << "%1 is held by python3 (pid %2). Close that program and connect again.";
}

void TestCliDevices::portsThatDoNotOpenCarryTheirHint()
{
    QFETCH(QString, kind);
    QFETCH(QString, error);
    QFETCH(QString, hint);
    PtyPair pty;
    QProcess holder;
    QString port;
    if (kind == "refused") {
        port = refusingPorts(1).value(0);
        QVERIFY(!port.isEmpty());
    } else if (kind == "missing") {
        port = m_dir->filePath("ttyUSB-gone");
    } else {
        QVERIFY(pty.isValid());
        port = m_dir->filePath("by-id-adapter");
        QVERIFY(QFile::link(pty.slavePath(), port));
        // It says so once it has the device open, so the program comes after.
        holder.start("python3", {"-c",
                                 "import os, sys\n"
                                 "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
                                 "print('open', flush=True)\n"
                                 "sys.stdin.read()",
                                 pty.slavePath()});
        QVERIFY(holder.waitForReadyRead(30000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("open"));
    }
    const auto filled = [&](QString text) {
        return text.replace("%1", port).replace("%2", QString::number(holder.processId()));
    };
    const QString shownHint = filled(hint);
    error = filled(error);
    const Run json = CliProcess::run({"read-settings", "--json", "--port", port}, m_dir->path());
    const Run text = CliProcess::run({"read-settings", "--port", port}, m_dir->path());
    holder.closeWriteChannel();
    holder.waitForFinished(30000);

    QCOMPARE(json.status, 1);
    QCOMPARE(json.objects.size(), 1);
    QCOMPARE(json.objects[0]["reason"].toString(), QStringLiteral("cannot-open"));
    QVERIFY2(json.objects[0]["error"].toString().contains(error), qPrintable(json.out));
    QVERIFY2(json.objects[0]["hint"].toString().startsWith(shownHint), qPrintable(json.out));
    // Text: the failure line as before, then the hint, both named by the port.
    QCOMPARE(text.status, 1);
    const QStringList lines = text.err.split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(QStringLiteral("pantrix-cli: %1: cannot open %1: ").arg(port)),
             qPrintable(text.err));
    QVERIFY2(lines[0].contains(error), qPrintable(text.err));
    QVERIFY2(lines[1].startsWith(QStringLiteral("pantrix-cli: %1: hint: %2").arg(port, shownHint)),
             qPrintable(text.err));
}

void TestCliDevices::theFarEndOfAPseudoTerminalIsNoHolder()
{
    // As socat's pairs do: the far end holds the master and keeps the slave
    // open too. The port opens; the silent far end then gives no ACK.
    QProcess farEnd;
    farEnd.start("python3", {"-c", "import os, sys\n"
                                   "master, slave = os.openpty()\n"
                                   "print(os.ttyname(slave), flush=True)\n"
                                   "sys.stdin.read()"});
    QVERIFY(farEnd.waitForReadyRead(30000));
    const QString port = QString::fromLocal8Bit(farEnd.readLine().trimmed());
    const Run run = CliProcess::run({"read-settings", "--json", "--port", port}, m_dir->path());
    farEnd.closeWriteChannel();
    farEnd.waitForFinished(30000);
    QCOMPARE(run.objects.size(), 1);
    QVERIFY2(run.objects[0]["reason"].toString() == QStringLiteral("no-ack"), qPrintable(run.out));
    QVERIFY(!run.objects[0].contains("hint"));
}

QTEST_GUILESS_MAIN(TestCliDevices)
#include "tst_cli_devices.moc"
