#pragma once

#include <QString>

// The English texts of the rows after the window's own (the detail line, the
// device list), for a language file that does not hold them.
namespace DetailTexts {

QString english(int row);

} // namespace DetailTexts
