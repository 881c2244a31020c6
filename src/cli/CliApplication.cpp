#include "CliApplication.h"

#include "CliCommand.h"
#include "DeviceCommands.h"
#include "FileCommands.h"
#include "JobRunner.h"
#include "LineMonitor.h"
#include "PortsCommand.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <optional>

namespace Cli {

void Output::line(const QString &text)
{
    if (!m_json)
        m_out << text << '\n' << Qt::flush;
}

void Output::object(const QJsonObject &object)
{
    if (m_json)
        m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n' << Qt::flush;
}

void Output::error(const QString &text)
{
    m_err << "pantrix-cli: " << text << '\n' << Qt::flush;
}

} // namespace Cli

namespace CliApplication {

namespace {

const QString Program = QStringLiteral("pantrix-cli");
const QString TraceOption = QStringLiteral("trace");

// --trace FILE: every display's traffic, line by line, into a file created
// (or emptied) before any display is touched and flushed after each line.
class Trace
{
public:
    explicit Trace(const QString &path) : m_file(path)
    {
        if (path.isEmpty())
            throw Cli::UsageError(QStringLiteral("--trace needs a file name"));
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Cli::UsageError(QStringLiteral("--trace %1: %2").arg(path, m_file.errorString()));
        m_monitor.setSink(&m_file);
        JobRunner::setLineMonitor(&m_monitor);
    }
    ~Trace()
    {
        JobRunner::setLineMonitor(nullptr);
        m_monitor.setSink(nullptr);
    }

    // The command's status, or a failure when the trace could not be written whole.
    int finish(Cli::Output &output, int status)
    {
        m_monitor.flush();
        if (!m_monitor.sinkFailed())
            return status;
        output.error(QStringLiteral("the trace %1 is incomplete: %2")
                         .arg(m_file.fileName(), m_monitor.sinkError()));
        return status == Cli::Success ? Cli::Failed : status;
    }

private:
    QFile m_file;
    LineMonitor m_monitor;
};

// Takes "--trace FILE" or "--trace=FILE" from before the command.
QStringList takeGlobalTrace(QStringList arguments, QStringList &traces)
{
    for (;;) {
        const QString word = arguments.value(1);
        if (word == QLatin1String("--trace") && arguments.size() > 2) {
            traces << arguments[2];
            arguments.remove(1, 2);
        } else if (word.startsWith(QLatin1String("--trace="))) {
            traces << word.mid(8);
            arguments.remove(1);
        } else {
            return arguments;
        }
    }
}

QList<Cli::Command> commands()
{
    QList<Cli::Command> all;
    all << DeviceCommands::commands() << FileCommands::show() << FileCommands::edit()
        << PortsCommand::command();
    return all;
}

QString overview(const QList<Cli::Command> &all)
{
    QString text = QStringLiteral("Usage: %1 COMMAND [OPTIONS]\n"
                                  "Configures PANTRIX displays without the window.\n\n"
                                  "Commands:\n")
                       .arg(Program);
    for (const Cli::Command &command : all)
        text += QStringLiteral("  %1%2\n").arg(command.name.leftJustified(17), command.summary);
    text +=
        QStringLiteral("\nEvery command also takes --trace FILE, before it or among its options:\n"
                       "it writes each byte sent to and received from the displays into FILE.\n");
    text += QStringLiteral("\n'%1 COMMAND --help' shows a command's options.\n"
                           "Exit status: 0 all succeeded, 1 a display or file failed, 2 usage "
                           "error.\n")
                .arg(Program);
    return text;
}

int runCommand(const Cli::Command &command, const QStringList &arguments,
               const QStringList &globalTraces, QTextStream &out, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(command.summary);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Prints one JSON object per result."));
    const QCommandLineOption trace(
        TraceOption,
        QStringLiteral("Writes every byte sent to and received from the displays, with what it "
                       "means, to FILE (created or emptied first)."),
        QStringLiteral("FILE"));
    parser.addOption(help);
    parser.addOption(json);
    parser.addOption(trace);
    command.declare(parser);
    // The command's name stands where the parser expects the program.
    QStringList words = arguments;
    words.replace(0, Program + QLatin1Char(' ') + command.name);
    if (!parser.parse(words)) {
        err << Program << ": " << command.name << ": " << parser.errorText() << "\nTry '" << Program
            << ' ' << command.name << " --help'.\n";
        return Cli::Usage;
    }
    if (parser.isSet(help)) {
        // The parser names the program by its path; the usage line names the command.
        QString text = parser.helpText();
        const qsizetype options = text.indexOf(QStringLiteral("[options]"));
        if (options >= 0)
            text.replace(0, options, QStringLiteral("Usage: %1 %2 ").arg(Program, command.name));
        out << text;
        return Cli::Success;
    }
    Cli::Output output(out, err, parser.isSet(json));
    try {
        const QStringList traces = globalTraces + parser.values(trace);
        if (traces.size() > 1)
            throw Cli::UsageError(QStringLiteral("--trace is given more than once"));
        std::optional<Trace> tracing;
        if (!traces.isEmpty())
            tracing.emplace(traces.first());
        const int status = command.run(parser, output);
        return tracing ? tracing->finish(output, status) : status;
    } catch (const Cli::UsageError &error) {
        err << Program << ": " << command.name << ": " << error.message() << "\nTry '" << Program
            << ' ' << command.name << " --help'.\n";
        return Cli::Usage;
    }
}

} // namespace

int run(const QStringList &commandLine, QTextStream &out, QTextStream &err)
{
    const QList<Cli::Command> all = commands();
    QStringList traces;
    const QStringList arguments = takeGlobalTrace(commandLine, traces);
    const QString first = arguments.value(1);
    if (first == QLatin1String("--version") || first == QLatin1String("-v")) {
        out << Program << ' ' << QCoreApplication::applicationVersion() << '\n';
        return Cli::Success;
    }
    if (first.isEmpty() || first == QLatin1String("--help") || first == QLatin1String("-h") ||
        first == QLatin1String("help")) {
        (first.isEmpty() ? err : out) << overview(all);
        return first.isEmpty() ? Cli::Usage : Cli::Success;
    }
    for (const Cli::Command &command : all) {
        if (command.name == first)
            return runCommand(command, arguments.mid(1), traces, out, err);
    }
    err << Program << ": unknown command \"" << first << "\"\n\n" << overview(all);
    return Cli::Usage;
}

} // namespace CliApplication
