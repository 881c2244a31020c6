#pragma once

#include "UserDialogs.h"

// The window's four file dialogs with their filters, default extensions and
// overwrite prompts. Only settings files ask before they are replaced.
struct FileDialogSet
{
    FileDialogSettings OpenDialog1{QStringLiteral("OpenDialog1"),
                                   QStringLiteral("Einstellungen (*.esv)|*.esv"),
                                   QStringLiteral("esv"),
                                   true,
                                   {}};
    FileDialogSettings SaveDialog1{QStringLiteral("SaveDialog1"),
                                   QStringLiteral("Einstellungen (*.esv)|*.esv"),
                                   QStringLiteral("esv"),
                                   true,
                                   {}};
    FileDialogSettings OpenDialog2{QStringLiteral("OpenDialog2"),
                                   QStringLiteral("Helligkeitstabelle (*.hsv)|*.hsv"),
                                   QStringLiteral("hsv"),
                                   false,
                                   {}};
    FileDialogSettings SaveDialog2{QStringLiteral("SaveDialog2"),
                                   QStringLiteral("Helligkeitstabelle (*.hsv)|*.hsv"),
                                   QStringLiteral("hsv"),
                                   false,
                                   {}};
};
