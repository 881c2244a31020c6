#include "CommandLine.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

namespace {

// QApplication takes these out of argv itself; the parser must not refuse them.
const QStringList QtOptionsWithValue = {QStringLiteral("platform"),
                                        QStringLiteral("platformpluginpath"),
                                        QStringLiteral("platformtheme"),
                                        QStringLiteral("plugin"),
                                        QStringLiteral("qwindowgeometry"),
                                        QStringLiteral("qwindowicon"),
                                        QStringLiteral("qwindowtitle"),
                                        QStringLiteral("display"),
                                        QStringLiteral("geometry"),
                                        QStringLiteral("title"),
                                        QStringLiteral("name"),
                                        QStringLiteral("style"),
                                        QStringLiteral("stylesheet"),
                                        QStringLiteral("session")};
const QStringList QtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                             QStringLiteral("nograb"), QStringLiteral("dograb"),
                             QStringLiteral("sync")};

QString optionName(const QString &argument)
{
    QString name = argument;
    while (name.startsWith(u'-'))
        name.remove(0, 1);
    return name.section(u'=', 0, 0);
}

QStringList withoutQtOptions(const QStringList &arguments)
{
    QStringList kept;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (i == 0 || !argument.startsWith(u'-') || argument == QLatin1String("--")) {
            kept << argument;
            continue;
        }
        const QString name = optionName(argument);
        if (QtFlags.contains(name))
            continue;
        if (QtOptionsWithValue.contains(name)) {
            if (!argument.contains(u'='))
                ++i; // the value follows as its own argument
            continue;
        }
        kept << argument;
    }
    return kept;
}

} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Configures a PANTRIX numeric display over a serial line or an RFC 2217 port.\n"
        "The program reads and writes its files (PANTRIX.sav, Language.mlf, Default.esv,\n"
        "Default.hsv) in the folder it is started from."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version and exit."));
    const QCommandLineOption desktop(
        QStringLiteral("desktop"),
#ifdef Q_OS_WIN
        QStringLiteral("Work in the program's own folder under the user's data folder\n"
                       "(%APPDATA%\\pantrix), as the Start menu starts it."));
#else
        QStringLiteral("Work in the program's own folder under the user's data folder\n"
                       "(~/.local/share/pantrix), as the desktop menu starts it."));
#endif
    parser.addOptions({help, version, desktop});
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QStringLiteral("A settings file (.esv) or brightness file (.hsv) to load once the\n"
                       "window has started, as its load buttons would."),
        QStringLiteral("[FILE...]"));

    const QString program = QStringLiteral("pantrix");
    if (!parser.parse(withoutQtOptions(arguments))) {
        result.m_action = Action::Fail;
        result.m_error =
            QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(program, parser.errorText());
        return result;
    }
    if (parser.isSet(help)) {
        result.m_action = Action::PrintAndExit;
        result.m_output = parser.helpText().replace(
            QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: pantrix"));
        return result;
    }
    if (parser.isSet(version)) {
        result.m_action = Action::PrintAndExit;
        result.m_output = QStringLiteral("pantrix " PANTRIX_VERSION "\n");
        return result;
    }
    result.m_desktop = parser.isSet(desktop);
    // Named from where the program was started, before --desktop changes folder.
    for (const QString &file : parser.positionalArguments())
        result.m_files << QFileInfo(file).absoluteFilePath();
    return result;
}

QStringList CommandLine::arguments(int argc, char *argv[])
{
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

int CommandLine::finish() const
{
    if (m_action == Action::Fail) {
        std::fputs(m_error.toLocal8Bit().constData(), stderr);
        return UsageErrorStatus;
    }
    std::fputs(m_output.toLocal8Bit().constData(), stdout);
    return 0;
}
