#include "CliApplication.h"

#include "CliCommand.h"
#include "DeviceCommands.h"
#include "FileCommands.h"
#include "PortsCommand.h"

#include <QCoreApplication>
#include <QJsonDocument>

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
    text += QStringLiteral("\n'%1 COMMAND --help' shows a command's options.\n"
                           "Exit status: 0 all succeeded, 1 a display or file failed, 2 usage "
                           "error.\n")
                .arg(Program);
    return text;
}

int runCommand(const Cli::Command &command, const QStringList &arguments, QTextStream &out,
               QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(command.summary);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Prints one JSON object per result."));
    parser.addOption(help);
    parser.addOption(json);
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
        return command.run(parser, output);
    } catch (const Cli::UsageError &error) {
        err << Program << ": " << command.name << ": " << error.message() << "\nTry '" << Program
            << ' ' << command.name << " --help'.\n";
        return Cli::Usage;
    }
}

} // namespace

int run(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    const QList<Cli::Command> all = commands();
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
            return runCommand(command, arguments.mid(1), out, err);
    }
    err << Program << ": unknown command \"" << first << "\"\n\n" << overview(all);
    return Cli::Usage;
}

} // namespace CliApplication
