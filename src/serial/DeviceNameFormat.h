#pragma once

#include <QString>

// Formats a device name template with a port number. The first integer
// placeholder (%d, %i or %u, with an optional 0 flag and width, as in "%02d")
// takes the number; "%%" is a percent sign; anything else stays as written.
// The template is never handed to printf, so a stray "%s" in it is harmless.
QString FormatDeviceName(const QString &nameTemplate, int number);
