#pragma once

#include <QString>

// The English texts of the detail line's rows (MessageRow::FirstDetailRow to
// LastDetailRow), for a language file that does not hold them.
namespace DetailTexts {

QString english(int row);

} // namespace DetailTexts
