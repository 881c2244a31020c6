#pragma once

#include <QByteArray>
#include <optional>

// The user string's escapes: "#" followed by exactly three decimal digits
// stands for one byte, the number modulo 256; every other byte stands for
// itself. It only expands; sending is the caller's.
namespace UserString {

// The escapes that the Esc key and the "Esc-C" button add to a text: ESC, and ESC 'C'.
inline constexpr char EscapeText[] = "#027";
inline constexpr char EscapeCText[] = "#027C";

// The bytes to send, or nothing when a "#" is not followed by three digits.
std::optional<QByteArray> expand(const QByteArray &text);

} // namespace UserString
