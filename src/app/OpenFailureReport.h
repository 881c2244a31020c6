#pragma once

#include <QString>

class StatusLine;

// Puts the reason a port did not open (ConnectOutcome::explanation) where the
// user can find it, beside the short status text: the status line's tooltip
// (and accessible description) and standard error. The tooltip goes when the
// status text changes.
void reportOpenFailure(StatusLine &statusLine, const QString &reason);
