#include "DeviceCommands.h"

#include "DataFile.h"
#include "DescriptorBudget.h"
#include "DisplayJob.h"
#include "Exception.h"
#include "JobRunner.h"
#include "RecordCheck.h"
#include "RecordFile.h"
#include "RecordReport.h"
#include "UserString.h"
#include "Win1252.h"
#include "platform/PortNameResolver.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonObject>
#include <algorithm>
#include <unistd.h>

namespace DeviceCommands {

namespace {

// A ports file of a whole site stays far below this.
constexpr qint64 MaxPortsFileSize = 16 * 1024 * 1024;

void declarePorts(QCommandLineParser &parser)
{
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("A display's port: COMn (through the ports map), a device "
                                     "path or rfc2217://HOST:PORT. Give it once per display."),
                      QStringLiteral("PORT")});
    parser.addOption({QStringLiteral("ports-file"),
                      QStringLiteral("A file with one port a line ('#' starts a comment)."),
                      QStringLiteral("FILE")});
    parser.addOption(
        {QStringLiteral("jobs"),
         QStringLiteral("Works at most N displays at once; the others wait their turn (default: "
                        "as many as the open-files limit allows, at most %1).")
             .arg(DescriptorBudget::MaxDefaultJobs),
         QStringLiteral("N")});
}

// The ports named, each with the target it resolves to.
struct Ports
{
    QStringList names;
    QHash<QString, QString> targets;

    QString targetOf(const QString &name) const { return targets.value(name, name); }
};

// What makes two targets the same port: a local device under any of its
// paths (a /dev/serial/by-id link and the device it points to).
QString identityOf(const QString &target)
{
    if (!target.startsWith(u'/'))
        return target;
    const QString canonical = QFileInfo(target).canonicalFilePath();
    return canonical.isEmpty() ? target : canonical;
}

// Refuses a port named twice, also under another name for the same target
// (COM3, com3 and the device the ports map gives COM3). Sorting by target
// keeps this quick for a site's worth of ports.
void refuseDuplicates(const Ports &ports)
{
    QList<std::pair<QString, qsizetype>> byTarget;
    byTarget.reserve(ports.names.size());
    for (qsizetype i = 0; i < ports.names.size(); ++i)
        byTarget.emplace_back(identityOf(ports.targetOf(ports.names[i])), i);
    std::sort(byTarget.begin(), byTarget.end());
    for (qsizetype i = 1; i < byTarget.size(); ++i) {
        if (byTarget[i].first != byTarget[i - 1].first)
            continue;
        const QString &first = ports.names[byTarget[i - 1].second];
        const QString &second = ports.names[byTarget[i].second];
        if (first == second)
            throw Cli::UsageError(QStringLiteral("port %1 is named twice").arg(second));
        throw Cli::UsageError(QStringLiteral("port %1 is named twice (%2 reaches %3 too)")
                                  .arg(second, first, ports.targetOf(first)));
    }
}

Ports portsOf(const QCommandLineParser &parser)
{
    Ports ports;
    ports.names = parser.values(QStringLiteral("port"));
    for (const QString &file : parser.values(QStringLiteral("ports-file"))) {
        QByteArray text;
        try {
            text = DataFile::readAll(file, MaxPortsFileSize);
        } catch (const Exception &error) {
            throw Cli::UsageError(QStringLiteral("%1: %2").arg(file, error.message()));
        }
        for (QString line : QString::fromUtf8(text).split(u'\n')) {
            const qsizetype hash = line.indexOf(u'#');
            if (hash >= 0)
                line.truncate(hash);
            line = line.trimmed();
            if (!line.isEmpty())
                ports.names << line;
        }
    }
    if (ports.names.isEmpty())
        throw Cli::UsageError(QStringLiteral("name at least one display with --port"));
    ports.targets.reserve(ports.names.size());
    for (const QString &name : std::as_const(ports.names)) {
        if (!ports.targets.contains(name))
            ports.targets.insert(name, PortNameResolver::resolve(name));
    }
    refuseDuplicates(ports);
    return ports;
}

int jobsOf(const QCommandLineParser &parser)
{
    if (!parser.isSet(QStringLiteral("jobs")))
        return DescriptorBudget::defaultJobs();
    const QString value = parser.value(QStringLiteral("jobs"));
    bool ok = false;
    const int jobs = value.toInt(&ok);
    if (!ok || jobs < 1)
        throw Cli::UsageError(
            QStringLiteral("--jobs takes a number of displays, 1 or more, not \"%1\"").arg(value));
    return jobs;
}

template <typename Bytes> Bytes recordFile(const QString &path, const QString &suffix)
{
    if (QFileInfo(path).suffix().toLower() != suffix)
        throw Cli::UsageError(QStringLiteral("%1: expected a .%2 file").arg(path, suffix));
    Bytes record;
    try {
        record = readRecordFile<Bytes>(path);
    } catch (const Exception &error) {
        throw Cli::UsageError(QStringLiteral("%1: %2").arg(path, error.message()));
    }
    // A record the window would not load is not sent to a display either.
    const QByteArray bytes(reinterpret_cast<const char *>(record.data()), qsizetype(record.size()));
    const auto problem = record.size() == SettingsTelegram::Size
                             ? RecordCheck::settingsProblem(bytes)
                             : RecordCheck::brightnessProblem(bytes);
    if (problem)
        throw Cli::UsageError(QStringLiteral("%1: %2").arg(path, *problem));
    return record;
}

QString onlyArgument(const QCommandLineParser &parser, const QString &what)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 1)
        throw Cli::UsageError(QStringLiteral("name one %1").arg(what));
    return arguments.first();
}

QString portLabel(const QString &port, const QString &target)
{
    return target == port ? port : QStringLiteral("%1 (%2)").arg(port, target);
}

QJsonObject settingsJson(const QByteArray &bytes)
{
    SettingsTelegram::Bytes record{};
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), record.size()), record.begin());
    try {
        return RecordReport::settingsJson(record);
    } catch (const Exception &error) {
        return {{QStringLiteral("hex"), RecordReport::hex(record.data(), int(record.size()))},
                {QStringLiteral("undecodable"), error.message()}};
    }
}

QStringList settingsLines(const QByteArray &bytes)
{
    SettingsTelegram::Bytes record{};
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), record.size()), record.begin());
    try {
        return RecordReport::settingsLines(record);
    } catch (const Exception &error) {
        return {QStringLiteral("  %1 (%2)")
                    .arg(RecordReport::hex(record.data(), int(record.size())), error.message())};
    }
}

BrightnessTelegram::Bytes brightnessOf(const QByteArray &bytes)
{
    BrightnessTelegram::Bytes record{};
    std::copy_n(bytes.begin(), std::min<qsizetype>(bytes.size(), record.size()), record.begin());
    return record;
}

void report(Cli::Output &output, const JobResult &result, const QString &target, bool showRecords)
{
    QJsonObject object{{QStringLiteral("port"), result.port},
                       {QStringLiteral("target"), target},
                       {QStringLiteral("operation"), result.operation},
                       {QStringLiteral("outcome"), result.outcome},
                       {QStringLiteral("seconds"), result.milliseconds / 1000.0}};
    if (result.failed()) {
        object.insert(QStringLiteral("reason"), result.reason);
        object.insert(QStringLiteral("error"), result.error);
        if (!result.hint.isEmpty())
            object.insert(QStringLiteral("hint"), result.hint);
    }
    if (result.settings)
        object.insert(QStringLiteral("settings"), settingsJson(*result.settings));
    if (result.brightness)
        object.insert(QStringLiteral("brightness"),
                      RecordReport::brightnessJson(brightnessOf(*result.brightness)));
    output.object(object);

    const QString seconds = QString::number(result.milliseconds / 1000.0, 'f', 1);
    if (result.failed()) {
        const QString label = portLabel(result.port, target);
        output.error(QStringLiteral("%1: %2").arg(label, result.error));
        // The hint has a line of its own, named by the same port, so that it
        // stays with its display among the lines of many.
        if (!result.hint.isEmpty())
            output.error(QStringLiteral("%1: hint: %2").arg(label, result.hint));
        return;
    }
    output.line(
        QStringLiteral("%1: %2 %3 in %4 s")
            .arg(portLabel(result.port, target), result.operation, result.outcome, seconds));
    if (!showRecords)
        return;
    if (result.settings)
        for (const QString &line : settingsLines(*result.settings))
            output.line(line);
    if (result.brightness)
        for (const QString &line : RecordReport::brightnessLines(brightnessOf(*result.brightness)))
            output.line(line);
}

int runDevices(const QCommandLineParser &parser, Cli::Output &output, const JobPlan &plan,
               bool showRecords, const QString &saveTo = {})
{
    const int jobs = jobsOf(parser);
    const Ports ports = portsOf(parser);
    if (!saveTo.isEmpty() && ports.names.size() > 1)
        throw Cli::UsageError(QStringLiteral("--out saves one display's record: name one port"));
    QList<JobResult> results =
        JobRunner::run(ports.names, plan, ::isatty(STDERR_FILENO) == 1, jobs);
    int status = Cli::Success;
    for (JobResult &result : results) {
        const std::optional<QByteArray> &record =
            plan.kind == JobPlan::Kind::ReadSettings ? result.settings : result.brightness;
        // Only a record read whole and checked replaces the file.
        if (!saveTo.isEmpty() && !result.failed() && record) {
            try {
                DataFile::writeAtomically(saveTo, *record);
            } catch (const Exception &error) {
                result.outcome = QStringLiteral("failed");
                result.reason = QStringLiteral("save-failed");
                result.error = QStringLiteral("cannot save %1: %2").arg(saveTo, error.message());
            }
        }
        report(output, result, ports.targetOf(result.port), showRecords);
        if (result.failed())
            status = Cli::Failed;
    }
    return status;
}

Cli::Command readCommand(bool settings)
{
    const QString suffix = settings ? QStringLiteral("esv") : QStringLiteral("hsv");
    return {
        settings ? QStringLiteral("read-settings") : QStringLiteral("read-brightness"),
        settings ? QStringLiteral("Reads the settings of displays and shows them.")
                 : QStringLiteral("Reads the brightness table of displays and shows it."),
        [suffix](QCommandLineParser &parser) {
            declarePorts(parser);
            parser.addOption({QStringLiteral("out"),
                              QStringLiteral("Saves the record read to this .%1 file.").arg(suffix),
                              QStringLiteral("FILE")});
        },
        [settings, suffix](const QCommandLineParser &parser, Cli::Output &output) {
            const QString out = parser.value(QStringLiteral("out"));
            if (!out.isEmpty() && QFileInfo(out).suffix().toLower() != suffix)
                throw Cli::UsageError(QStringLiteral("%1: save as a .%2 file").arg(out, suffix));
            if (!parser.positionalArguments().isEmpty())
                throw Cli::UsageError(QStringLiteral("unexpected argument \"%1\"")
                                          .arg(parser.positionalArguments().first()));
            JobPlan plan;
            plan.kind = settings ? JobPlan::Kind::ReadSettings : JobPlan::Kind::ReadBrightness;
            return runDevices(parser, output, plan, true, out);
        }};
}

Cli::Command sendCommand(bool settings)
{
    return {
        settings ? QStringLiteral("send-settings") : QStringLiteral("send-brightness"),
        settings
            ? QStringLiteral("Sends a settings file (.esv) to displays, with the echo check.")
            : QStringLiteral("Sends a brightness file (.hsv) to displays, with the echo check."),
        [settings](QCommandLineParser &parser) {
            declarePorts(parser);
            parser.addPositionalArgument(settings ? QStringLiteral("FILE.esv")
                                                  : QStringLiteral("FILE.hsv"),
                                         QStringLiteral("The record to send."));
        },
        [settings](const QCommandLineParser &parser, Cli::Output &output) {
            const QString file = onlyArgument(parser, QStringLiteral("file"));
            JobPlan plan;
            if (settings) {
                plan.kind = JobPlan::Kind::SendSettings;
                plan.settings = recordFile<SettingsTelegram::Bytes>(file, QStringLiteral("esv"));
            } else {
                plan.kind = JobPlan::Kind::SendBrightness;
                plan.brightness =
                    recordFile<BrightnessTelegram::Bytes>(file, QStringLiteral("hsv"));
            }
            return runDevices(parser, output, plan, false);
        }};
}

Cli::Command applyCommand()
{
    return {
        QStringLiteral("apply"),
        QStringLiteral("Makes displays hold the given records: sends only what differs and "
                       "reads it back."),
        [](QCommandLineParser &parser) {
            declarePorts(parser);
            parser.addOption({QStringLiteral("settings"),
                              QStringLiteral("The settings file (.esv) the displays must hold."),
                              QStringLiteral("FILE")});
            parser.addOption({QStringLiteral("brightness"),
                              QStringLiteral("The brightness file (.hsv) the displays must hold."),
                              QStringLiteral("FILE")});
        },
        [](const QCommandLineParser &parser, Cli::Output &output) {
            JobPlan plan;
            plan.kind = JobPlan::Kind::Apply;
            if (parser.isSet(QStringLiteral("settings")))
                plan.settings = recordFile<SettingsTelegram::Bytes>(
                    parser.value(QStringLiteral("settings")), QStringLiteral("esv"));
            if (parser.isSet(QStringLiteral("brightness")))
                plan.brightness = recordFile<BrightnessTelegram::Bytes>(
                    parser.value(QStringLiteral("brightness")), QStringLiteral("hsv"));
            if (!plan.settings && !plan.brightness)
                throw Cli::UsageError(
                    QStringLiteral("name what to apply with --settings and/or --brightness"));
            return runDevices(parser, output, plan, false);
        }};
}

Cli::Command userStringCommand()
{
    return {QStringLiteral("user-string"),
            QStringLiteral("Sends a text to displays; #nnn stands for the byte nnn (e.g. #027 "
                           "for Esc)."),
            [](QCommandLineParser &parser) {
                declarePorts(parser);
                parser.addPositionalArgument(QStringLiteral("TEXT"),
                                             QStringLiteral("The text, with #nnn escapes."));
            },
            [](const QCommandLineParser &parser, Cli::Output &output) {
                JobPlan plan;
                plan.kind = JobPlan::Kind::UserString;
                plan.userText = Win1252::fromUnicode(onlyArgument(parser, QStringLiteral("text")));
                if (!UserString::expand(plan.userText))
                    throw Cli::UsageError(
                        QStringLiteral("a \"#\" in TEXT must be followed by three digits"));
                return runDevices(parser, output, plan, false);
            }};
}

} // namespace

QList<Cli::Command> commands()
{
    return {readCommand(true),  readCommand(false), sendCommand(true),
            sendCommand(false), applyCommand(),     userStringCommand()};
}

} // namespace DeviceCommands
