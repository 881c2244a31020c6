#pragma once

#include <QString>

// Text to value conversions with the program's own acceptance rules; each
// raises EConvertError with the offending text when the text is not valid.
namespace Conversions {

// A decimal integer with an optional sign that fits 32 bits; nothing else.
int strToInt(const QString &text);

// "true"/"false" in any letter case, or a number (true when not zero).
bool strToBool(const QString &text);

// "TRUE" or "FALSE", as the program writes booleans.
QString boolToStr(bool value);

} // namespace Conversions
