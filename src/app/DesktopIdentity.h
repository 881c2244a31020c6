#pragma once

#include <QString>

class QIcon;

// How the program presents itself to the desktop: the name that gives the
// window its class, the version, the desktop file that task bars match the
// window to, and the window icon.
namespace DesktopIdentity {

// The reverse-DNS application id: name of the desktop file, the metainfo file
// and the icon.
QString applicationId();

// Call once the QApplication exists.
void apply();

QIcon windowIcon();

// On Windows, where pantrix is a program without a console of its own, sends
// standard output and error to the console it was started from, if any and
// unless they are redirected; elsewhere it does nothing. Call first.
void useParentConsole();

// Turns the abort of a QApplication that finds no display into a message on
// standard error and status 1. Call right before constructing QApplication and
// `endDisplayGuard` right after.
void beginDisplayGuard();
void endDisplayGuard();

constexpr int NoDisplayStatus = 1;

} // namespace DesktopIdentity
