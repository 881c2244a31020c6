#include "SettingsTelegram.h"

#include "Exception.h"
#include "SettingsControls.h"
#include "Win1252.h"

namespace {

constexpr std::uint8_t Esc = 0x1B;
constexpr std::uint8_t Cr = 0x0D;
constexpr std::uint8_t Lf = 0x0A;
constexpr int ProtocolsPerFunction = 14;

std::uint8_t indexByte(int index)
{
    return std::uint8_t('0' + index);
}

// Digit field text into its telegram field. A text shorter than the field
// (left by a record that held a zero byte) is filled with leading "0" so the
// number keeps its value and the record stays printable.
void putDigits(SettingsTelegram::Bytes &bytes, int offset, int width, const QString &text)
{
    const QByteArray latin = text.left(width).toLatin1();
    const int pad = width - int(latin.size());
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = i < pad ? '0' : std::uint8_t(latin[i - pad]);
}

// The one-character text of a byte, as the window shows it.
QString charText(std::uint8_t byte)
{
    return QString(QChar(Win1252::toUnicode(uchar(byte))));
}

int decimalDigit(std::uint8_t byte)
{
    if (byte < '0' || byte > '9')
        throw EConvertError::notInteger(charText(byte));
    return byte - '0';
}

// Bytes up to the first zero byte.
QString digitsText(const SettingsTelegram::Bytes &bytes, int offset, int width)
{
    QString text;
    for (int i = 0; i < width && bytes[offset + i] != 0; ++i)
        text += charText(bytes[offset + i]);
    return text;
}

} // namespace

SettingsTelegram::Bytes SettingsTelegram::assemble(const SettingsControls &c)
{
    Bytes b{};
    b[0] = Esc;
    b[1] = 'Z';
    b[2] = 'E';
    b[3] = 'S';
    b[4] = indexByte(c.interfaceIndex());
    b[5] = 'B';
    b[6] = indexByte(c.baudRateIndex());
    b[7] = 'C';
    b[8] = indexByte(c.parityIndex());
    b[9] = 'P';
    b[10] = indexByte(c.protocolIndex() + ProtocolsPerFunction * c.specialFunctionIndex());
    b[11] = 'A';
    putDigits(b, 12, 3, c.address());
    b[15] = 'V';
    putDigits(b, 16, 2, c.leadingBlanks());
    b[18] = 'K';
    b[19] = indexByte(c.decimalPointIndex());
    b[20] = 'N';
    b[21] = indexByte(c.negativeValuesIndex());
    b[22] = 'D';
    const int dimming = c.dimmingIndex();
    b[23] = dimming >= 0 && dimming < DimmingLevels ? DimmingCharacters[dimming] : DimmingFallback;
    b[24] = 'T';
    putDigits(b, 25, 2, c.timeout());
    b[27] = c.blankOnTimeout() ? '1' : '0';
    b[28] = Cr;
    b[29] = Lf;
    return b;
}

int SettingsTelegram::specialFunctionOf(std::uint8_t packed)
{
    if (packed >= 0x5A)
        return 3;
    if (packed >= 0x4C)
        return 2;
    if (packed >= 0x3E)
        return 1;
    return 0;
}

int SettingsTelegram::protocolOf(std::uint8_t packed)
{
    return int(packed) - ProtocolsPerFunction * specialFunctionOf(packed) - '0';
}

void SettingsTelegram::spread(const Bytes &r, SettingsControls &c)
{
    c.setInterfaceIndex(int(r[4]) - '0');
    c.setBaudRateIndex(decimalDigit(r[6]));
    c.setParityIndex(decimalDigit(r[8]));
    c.setSpecialFunctionIndex(specialFunctionOf(r[10]));
    c.setProtocolIndex(protocolOf(r[10]));
    c.setAddress(digitsText(r, 12, 3));
    c.setLeadingBlanks(digitsText(r, 16, 2));
    c.setDecimalPointIndex(decimalDigit(r[19]));
    c.setNegativeValuesIndex(decimalDigit(r[21]));
    for (int i = 0; i < DimmingLevels; ++i) {
        if (std::uint8_t(DimmingCharacters[i]) == r[23]) {
            c.setDimmingIndex(i);
            break;
        }
    }
    c.clearBlankOnTimeout();
    if (r[27] == '1')
        c.setBlankOnTimeout();
    c.setTimeout(digitsText(r, 25, 2));
}
