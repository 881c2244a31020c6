#include "FileCommands.h"

#include "DataFile.h"
#include "Exception.h"
#include "RecordFile.h"
#include "RecordReport.h"
#include "SettingsFields.h"

#include <QFileInfo>

namespace FileCommands {

namespace {

enum class Kind
{
    Settings,
    Brightness
};

Kind kindOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("esv"))
        return Kind::Settings;
    if (suffix == QLatin1String("hsv"))
        return Kind::Brightness;
    throw Cli::UsageError(
        QStringLiteral("%1: name a settings file (.esv) or a brightness file (.hsv)").arg(path));
}

QString onlyFile(const QCommandLineParser &parser)
{
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1)
        throw Cli::UsageError(files.isEmpty() ? QStringLiteral("name one file")
                                              : QStringLiteral("name only one file"));
    return files.first();
}

void report(Cli::Output &output, const QString &operation, const QString &path, Kind kind,
            const QByteArray &bytes)
{
    QJsonObject object{{QStringLiteral("file"), path},
                       {QStringLiteral("operation"), operation},
                       {QStringLiteral("outcome"), QStringLiteral("done")}};
    QStringList lines;
    if (kind == Kind::Settings) {
        SettingsTelegram::Bytes record{};
        std::copy(bytes.begin(), bytes.end(), record.begin());
        object.insert(QStringLiteral("settings"), RecordReport::settingsJson(record));
        lines = RecordReport::settingsLines(record);
    } else {
        BrightnessTelegram::Bytes record{};
        std::copy(bytes.begin(), bytes.end(), record.begin());
        object.insert(QStringLiteral("brightness"), RecordReport::brightnessJson(record));
        lines = RecordReport::brightnessLines(record);
    }
    output.object(object);
    output.line(QStringLiteral("%1: %2 record")
                    .arg(path, kind == Kind::Settings ? QStringLiteral("settings")
                                                      : QStringLiteral("brightness")));
    for (const QString &line : lines)
        output.line(line);
}

int fail(Cli::Output &output, const QString &operation, const QString &path, const QString &why)
{
    output.object({{QStringLiteral("file"), path},
                   {QStringLiteral("operation"), operation},
                   {QStringLiteral("outcome"), QStringLiteral("failed")},
                   {QStringLiteral("error"), why}});
    output.error(QStringLiteral("%1: %2").arg(path, why));
    return Cli::Failed;
}

int runShow(const QCommandLineParser &parser, Cli::Output &output)
{
    const QString path = onlyFile(parser);
    const Kind kind = kindOf(path);
    try {
        QByteArray bytes;
        if (kind == Kind::Settings) {
            const auto record = readRecordFile<SettingsTelegram::Bytes>(path);
            bytes = QByteArray(reinterpret_cast<const char *>(record.data()), record.size());
        } else {
            const auto record = readRecordFile<BrightnessTelegram::Bytes>(path);
            bytes = QByteArray(reinterpret_cast<const char *>(record.data()), record.size());
        }
        report(output, QStringLiteral("show"), path, kind, bytes);
        return Cli::Success;
    } catch (const Exception &error) {
        return fail(output, QStringLiteral("show"), path, error.message());
    }
}

int runEdit(const QCommandLineParser &parser, Cli::Output &output)
{
    const QString path = onlyFile(parser);
    if (kindOf(path) != Kind::Settings)
        throw Cli::UsageError(
            QStringLiteral("%1: only settings files (.esv) are edited").arg(path));
    const QStringList assignments = parser.values(QStringLiteral("set"));
    if (assignments.isEmpty())
        throw Cli::UsageError(QStringLiteral("say what to change with --set FIELD=VALUE"));
    const QString target =
        parser.isSet(QStringLiteral("out")) ? parser.value(QStringLiteral("out")) : path;
    if (kindOf(target) != Kind::Settings)
        throw Cli::UsageError(QStringLiteral("%1: save settings as a .esv file").arg(target));

    SettingsFields fields;
    try {
        fields = SettingsFields::fromRecord(readRecordFile<SettingsTelegram::Bytes>(path));
    } catch (const Exception &error) {
        return fail(output, QStringLiteral("edit"), path, error.message());
    }
    // Every assignment is checked before anything is written.
    for (const QString &assignment : assignments) {
        const qsizetype equals = assignment.indexOf(u'=');
        if (equals <= 0)
            throw Cli::UsageError(
                QStringLiteral("--set takes FIELD=VALUE, not \"%1\"").arg(assignment));
        if (const auto refusal =
                fields.set(assignment.left(equals).trimmed(), assignment.mid(equals + 1)))
            throw Cli::UsageError(*refusal);
    }
    const SettingsTelegram::Bytes record = fields.toRecord();
    const QByteArray bytes(reinterpret_cast<const char *>(record.data()), record.size());
    try {
        DataFile::writeAtomically(target, bytes);
    } catch (const Exception &error) {
        return fail(output, QStringLiteral("edit"), target, error.message());
    }
    report(output, QStringLiteral("edit"), target, Kind::Settings, bytes);
    return Cli::Success;
}

} // namespace

Cli::Command show()
{
    return {QStringLiteral("show"),
            QStringLiteral("Decodes a settings (.esv) or brightness (.hsv) file."),
            [](QCommandLineParser &parser) {
                parser.addPositionalArgument(QStringLiteral("FILE"),
                                             QStringLiteral("The .esv or .hsv file."));
            },
            runShow};
}

Cli::Command edit()
{
    QStringList names;
    for (const SettingsFields::Field &field : SettingsFields::fields())
        names << field.name;
    return {QStringLiteral("edit"),
            QStringLiteral("Changes fields of a settings file (.esv) by name."),
            [names](QCommandLineParser &parser) {
                parser.addPositionalArgument(QStringLiteral("FILE"),
                                             QStringLiteral("The .esv file to change."));
                parser.addOption({QStringLiteral("set"),
                                  QStringLiteral("Sets a field, e.g. baud-rate=9600 or "
                                                 "address=12. Fields: %1.")
                                      .arg(names.join(QStringLiteral(", "))),
                                  QStringLiteral("FIELD=VALUE")});
                parser.addOption({QStringLiteral("out"),
                                  QStringLiteral("Saves to this file instead of FILE."),
                                  QStringLiteral("FILE")});
            },
            runEdit};
}

} // namespace FileCommands
