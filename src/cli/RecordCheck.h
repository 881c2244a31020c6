#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Whether bytes that came from a display or a file are a record the program
// can stand behind: the fixed bytes of its layout (header, tag letters, tail)
// where they belong, and every field decodable as the window decodes it. A
// settings record's one-character choices and its digit fields must hold
// digits, and its dimming byte must name a level; an interface or protocol
// byte past the last item is taken as the window takes it (the last item).
// A brightness record's sixteen values are binary and any byte will do.
//
// It only judges: the answer is what is wrong, in words, or nothing.
namespace RecordCheck {

std::optional<QString> settingsProblem(const QByteArray &bytes);
std::optional<QString> brightnessProblem(const QByteArray &bytes);

} // namespace RecordCheck
