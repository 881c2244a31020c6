#pragma once

#include "BrightnessTelegram.h"
#include "SettingsTelegram.h"

#include <QJsonObject>
#include <QStringList>

// A settings or brightness record as a technician reads it: every field by
// name with its value, and the raw bytes in hexadecimal; as text lines for a
// terminal or as a JSON object for a machine. It only describes.
namespace RecordReport {

// "1B 5A 45 ..."
QString hex(const std::uint8_t *bytes, int size);

// Raises EConvertError for a settings record the window could not spread.
QStringList settingsLines(const SettingsTelegram::Bytes &record);
QJsonObject settingsJson(const SettingsTelegram::Bytes &record);

QStringList brightnessLines(const BrightnessTelegram::Bytes &record);
QJsonObject brightnessJson(const BrightnessTelegram::Bytes &record);

} // namespace RecordReport
