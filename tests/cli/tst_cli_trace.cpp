#include "CliProcess.h"
#include "DisplaySimProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// pantrix-cli --trace FILE against simulated displays: the traffic of two
// displays at once, each line naming its port; Ctrl+C in the middle of a
// connect; a trace file that cannot be written refuses the run before any
// display is touched, one that fills up fails it.
namespace {

const QByteArray Settings = CliProcess::ExampleSettings;

// The lines of `trace` for `port`, without time stamp and port, and without
// the display's alive signals (when an ENQ comes depends on the clock).
QStringList linesOf(const QByteArray &trace, const QString &port, bool *wellFormed)
{
    static const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  (\\S+)  (.*)$"));
    static const QRegularExpression alive(
        QStringLiteral("^in    (alive signal|stale input, discarded) \\| (05 )*05 \\| "));
    QStringList lines;
    for (const QByteArray &text : trace.split('\n')) {
        if (text.isEmpty())
            continue;
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(text));
        if (!match.hasMatch()) {
            *wellFormed = false;
            continue;
        }
        if (match.captured(1) == port && !alive.match(match.captured(2)).hasMatch())
            lines << match.captured(2);
    }
    return lines;
}

} // namespace

class TestCliTrace : public QObject
{
    Q_OBJECT

private slots:
    void twoDisplaysAtOnce_data()
    {
        QTest::addColumn<bool>("beforeTheCommand");
        QTest::newRow("--trace before the command") << true;
        QTest::newRow("--trace among the command's options") << false;
    }
    void twoDisplaysAtOnce()
    {
        QFETCH(bool, beforeTheCommand);
        QTemporaryDir dir;
        QFile record(dir.filePath("site.esv"));
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write(Settings);
        record.close();
        DisplaySimProcess first({"--fast"});
        DisplaySimProcess second({"--fast"});
        QVERIFY(first.isListening() && second.isListening());
        const QStringList trace{"--trace", "trace.txt"};
        const QStringList command{"send-settings", "--port",         first.address(),
                                  "--port",        second.address(), "site.esv"};
        const CliProcess::Run run =
            CliProcess::run(beforeTheCommand ? trace + command : command + trace, dir.path());
        QVERIFY2(run.status == 0, qPrintable(run.err));

        QFile file(dir.filePath("trace.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        const QString hex = QString::fromLatin1(Settings.toHex(' ').toUpper());
        const QString telegramText =
            QString::fromLatin1(Settings.left(28)).replace(u'\x1b', QStringLiteral("<ESC>")) +
            QStringLiteral("<CR><LF>");
        const QStringList expected{
            "line  port opened",
            "line  RTS high",
            "in    ACK | 06 | <ACK>",
            "note  connected",
            "out   settings telegram | " + hex + " | " + telegramText,
            "in    settings echo | " + hex + " | " + telegramText,
            "note  echo matches",
            "line  RTS low",
            "line  port closed",
        };
        bool wellFormed = true;
        for (const DisplaySimProcess *sim : {&first, &second})
            QCOMPARE(linesOf(text, sim->address(), &wellFormed), expected);
        QVERIFY2(wellFormed, text.constData());
    }

    void ctrlCLeavesTheTraceWhole()
    {
        QTemporaryDir dir;
        DisplaySimProcess sim({"--fast", "--silent"}); // the ACK never comes
        QVERIFY(sim.isListening());
        QProcess process;
        CliProcess::start(process,
                          {"read-settings", "--trace", "trace.txt", "--port", sim.address()},
                          dir.path());
        QVERIFY(sim.waitForLines("rts: high", 1, 10000));
        ::kill(pid_t(process.processId()), SIGINT);
        QCOMPARE(CliProcess::finish(process).status, 1);
        QFile file(dir.filePath("trace.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        bool wellFormed = true;
        QCOMPARE(linesOf(file.readAll(), sim.address(), &wellFormed),
                 (QStringList{"line  port opened", "line  RTS high", "note  connect cancelled",
                              "line  RTS low", "line  port closed"}));
        QVERIFY(wellFormed);
    }

    void aTraceThatFillsUpFailsTheRun()
    {
        QTemporaryDir dir;
        DisplaySimProcess sim({"--fast"});
        QVERIFY(sim.isListening());
        // Opens, but takes no byte.
        const CliProcess::Run run = CliProcess::run(
            {"read-settings", "--trace", "/dev/full", "--port", sim.address()}, dir.path());
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("pantrix-cli: the trace /dev/full is incomplete: "),
                 qPrintable(run.err));
        QVERIFY2(run.out.contains("read-settings done"), qPrintable(run.out));
    }

    void aTraceThatCannotBeWrittenTouchesNoDisplay_data()
    {
        QTest::addColumn<QString>("trace");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing folder") << "no-such-folder/trace.txt"
                                        << "--trace no-such-folder/trace.txt: ";
        QTest::newRow("a folder") << "."
                                  << "--trace .: ";
        QTest::newRow("empty name") << ""
                                    << "--trace needs a file name";
        QTest::newRow("given twice") << "trace.txt --trace other.txt"
                                     << "--trace is given more than once";
    }
    void aTraceThatCannotBeWrittenTouchesNoDisplay()
    {
        QFETCH(QString, trace);
        QFETCH(QString, error);
        QTemporaryDir dir;
        DisplaySimProcess sim({"--fast"});
        QVERIFY(sim.isListening());
        QStringList arguments{"--trace"};
        arguments << trace.split(' ');
        arguments << QStringList{"read-settings", "--port", sim.address()};
        const CliProcess::Run run = CliProcess::run(arguments, dir.path());
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith("pantrix-cli: read-settings: " + error), qPrintable(run.err));
        QCOMPARE(sim.count("client connected"), 0);
    }
};

QTEST_GUILESS_MAIN(TestCliTrace)
#include "tst_cli_trace.moc"
