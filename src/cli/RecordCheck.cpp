#include "RecordCheck.h"

#include "BrightnessTelegram.h"
#include "Exception.h"
#include "SettingsFields.h"
#include "SettingsTelegram.h"

namespace RecordCheck {

namespace {

const QByteArray Tail("\r\n");

// "'A' (0x41)", or "0x05" for a byte that prints as nothing.
QString byteText(char byte)
{
    const auto value = std::uint8_t(byte);
    const QString hex =
        QStringLiteral("0x") + QString::number(value, 16).rightJustified(2, u'0').toUpper();
    if (value < 0x20 || value >= 0x7F)
        return hex;
    return QStringLiteral("'%1' (%2)").arg(QChar(value), hex);
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The size, the header and the tail; `header` is named as `headerName`.
std::optional<QString> framingProblem(const QString &record, const QByteArray &bytes, int size,
                                      const QByteArray &header, const QString &headerName)
{
    if (bytes.size() != size)
        return QStringLiteral("the %1 record has %2 bytes, not %3")
            .arg(record)
            .arg(bytes.size())
            .arg(size);
    if (!bytes.startsWith(header))
        return QStringLiteral("the %1 record starts %2, not %3 (%4)")
            .arg(record, hexOf(bytes.left(header.size())), headerName, hexOf(header));
    if (!bytes.endsWith(Tail))
        return QStringLiteral("the %1 record ends %2, not CR LF (0D 0A)")
            .arg(record, hexOf(bytes.right(Tail.size())));
    return std::nullopt;
}

bool isDigit(char byte)
{
    return byte >= '0' && byte <= '9';
}

std::optional<QString> tagProblem(const QByteArray &bytes)
{
    static const struct
    {
        int offset;
        char letter;
    } tags[] = {{3, 'S'},  {5, 'B'},  {7, 'C'},  {9, 'P'},  {11, 'A'},
                {15, 'V'}, {18, 'K'}, {20, 'N'}, {22, 'D'}, {24, 'T'}};
    for (const auto &tag : tags) {
        if (bytes[tag.offset] != tag.letter)
            return QStringLiteral("byte %1 of the settings record is %2, not its tag letter \"%3\"")
                .arg(tag.offset)
                .arg(byteText(bytes[tag.offset]), QChar(tag.letter));
    }
    return std::nullopt;
}

std::optional<QString> fieldProblem(const QByteArray &bytes)
{
    // The fields in record order: where each starts, how many bytes it has,
    // and whether they must be digits (else it is the dimming level).
    static const struct
    {
        const char *name;
        int offset;
        int width;
    } digitFields[] = {{"baud-rate", 6, 1},      {"data-format", 8, 1},
                       {"address", 12, 3},       {"leading-characters", 16, 2},
                       {"decimal-point", 19, 1}, {"negative-values", 21, 1},
                       {"timeout", 25, 2}};
    for (const auto &field : digitFields) {
        for (int i = 0; i < field.width; ++i) {
            const char byte = bytes[field.offset + i];
            if (!isDigit(byte))
                return QStringLiteral("the settings record's %1 holds %2, not a digit")
                    .arg(QLatin1String(field.name), byteText(byte));
        }
    }
    const QByteArray levels(SettingsTelegram::DimmingCharacters);
    if (!levels.contains(bytes[23]))
        return QStringLiteral("the settings record's dimming is %1, not one of %2")
            .arg(byteText(bytes[23]), QString::fromLatin1(levels));
    return std::nullopt;
}

} // namespace

std::optional<QString> settingsProblem(const QByteArray &bytes)
{
    if (auto problem = framingProblem(QStringLiteral("settings"), bytes, SettingsTelegram::Size,
                                      QByteArray("\x1bZE"), QStringLiteral("ESC \"Z\" \"E\"")))
        return problem;
    if (auto problem = tagProblem(bytes))
        return problem;
    if (auto problem = fieldProblem(bytes))
        return problem;
    // What the window's own decoder refuses, should it ever refuse more.
    SettingsTelegram::Bytes record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    try {
        SettingsFields::fromRecord(record);
    } catch (const Exception &error) {
        return QStringLiteral("the settings record does not decode: %1").arg(error.message());
    }
    return std::nullopt;
}

std::optional<QString> brightnessProblem(const QByteArray &bytes)
{
    return framingProblem(QStringLiteral("brightness"), bytes, BrightnessTelegram::Size,
                          QByteArray("\x1bHT"), QStringLiteral("ESC \"H\" \"T\""));
}

} // namespace RecordCheck
