#pragma once

#include <QString>
#include <exception>

class StatusLine;

// Puts the reason a port did not open where the user can find it, beside the
// short status text: the status line's tooltip (and accessible description)
// and standard error. The tooltip goes when the status text changes.
void reportOpenFailure(StatusLine &statusLine, const QString &portName,
                       const std::exception &error);
