#pragma once

#include <QStringList>
#include <array>
#include <cstdint>

// The 21-byte brightness record: header ESC "H" "T", the 16 brightness values
// as single binary bytes, tail CR LF. It converts between the record and the
// texts of the 16 three-digit fields and knows the fields' value check; it
// sends nothing and touches no file.
class BrightnessTelegram
{
public:
    static constexpr int Size = 21;
    static constexpr int ValueCount = 16;
    static constexpr int FirstValueOffset = 3;
    using Bytes = std::array<std::uint8_t, Size>;

    // Writes the header, then value 1 to 16 from `fieldTexts` (low 8 bits of
    // each decimal number), then the tail, into `record` in that order. A text
    // that is no decimal number raises EConvertError; what was written before
    // it stays written.
    static void assemble(const QStringList &fieldTexts, Bytes &record);

    // The 16 values as three-digit texts: 0 gives "000", 42 "042".
    static QStringList fieldTexts(const Bytes &record);

    // The fields' check, by character codes as the fields hold three digits:
    // a text passes when it lies from "001" to "255".
    static bool isValueTextInRange(const QString &text);
};
