#include "RecordReport.h"

#include "SettingsFields.h"

#include <QJsonArray>

namespace RecordReport {

namespace {

QString row(const QString &name, const QString &value)
{
    return QStringLiteral("  %1 %2").arg(name.leftJustified(20), value);
}

} // namespace

QString hex(const std::uint8_t *bytes, int size)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes), size).toHex(' ').toUpper());
}

QStringList settingsLines(const SettingsTelegram::Bytes &record)
{
    const SettingsFields fields = SettingsFields::fromRecord(record);
    QStringList lines;
    for (const SettingsFields::Field &field : SettingsFields::fields())
        lines << row(field.name, fields.text(field.name));
    lines << row(QStringLiteral("bytes"), hex(record.data(), SettingsTelegram::Size));
    return lines;
}

QJsonObject settingsJson(const SettingsTelegram::Bytes &record)
{
    const SettingsFields fields = SettingsFields::fromRecord(record);
    QJsonObject decoded;
    for (const SettingsFields::Field &field : SettingsFields::fields()) {
        if (field.kind == SettingsFields::Kind::Flag)
            decoded.insert(field.name, fields.number(field.name) == 1);
        else
            decoded.insert(field.name, fields.text(field.name));
    }
    return QJsonObject{{QStringLiteral("hex"), hex(record.data(), SettingsTelegram::Size)},
                       {QStringLiteral("fields"), decoded}};
}

QStringList brightnessLines(const BrightnessTelegram::Bytes &record)
{
    const QStringList texts = BrightnessTelegram::fieldTexts(record);
    QStringList lines;
    for (int i = 0; i < texts.size(); ++i)
        lines << row(QStringLiteral("level %1").arg(i + 1), texts[i]);
    lines << row(QStringLiteral("bytes"), hex(record.data(), BrightnessTelegram::Size));
    return lines;
}

QJsonObject brightnessJson(const BrightnessTelegram::Bytes &record)
{
    QJsonArray levels;
    for (int i = 0; i < BrightnessTelegram::ValueCount; ++i)
        levels.append(int(record[BrightnessTelegram::FirstValueOffset + i]));
    return QJsonObject{{QStringLiteral("hex"), hex(record.data(), BrightnessTelegram::Size)},
                       {QStringLiteral("levels"), levels}};
}

} // namespace RecordReport
