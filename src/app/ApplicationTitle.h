#pragma once

#include <QString>

// The application's title: caption of error boxes and of the program's messages.
inline const QString ApplicationTitle = QStringLiteral("PANTRIX_V20");
// The main window's caption.
inline const QString MainWindowCaption = QStringLiteral("PANTRIX_3.0");
