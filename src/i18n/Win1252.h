#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Conversion between Windows-1252 bytes and Unicode text with a table of our
// own, because Qt 6 has no 1252 codec without ICU. The language file and the
// language table hold 1252 bytes; the window shows QString.
namespace Win1252 {

// The Unicode character of one byte. The five codes that 1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1 controls of the same
// value, so every byte survives a round trip.
char16_t toUnicode(uchar byte);

QString toUnicode(QByteArrayView bytes);

// One byte per character; a character that 1252 cannot hold becomes '?'
// (a character outside the Basic Multilingual Plane counts as one).
QByteArray fromUnicode(QStringView text);

} // namespace Win1252
