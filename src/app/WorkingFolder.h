#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. Started from a terminal it works in the
// folder it was started in. Started from the desktop menu that folder is the
// home folder, so it works in a folder of its own under the user's data
// folder instead, created on first start and seeded with the shipped default
// and language files. Files already there are never replaced.
namespace WorkingFolder {

// The files the program reads at start-up and that are shipped with it.
const QStringList &seededFiles();

// $XDG_DATA_HOME/pantrix, or ~/.local/share/pantrix; on Windows
// %APPDATA%\pantrix.
QString desktopFolder();

// The shipped data folder: share/pantrix beside the program's bin folder, so
// an installed tree can be moved as a whole; on Windows the program's folder.
QString shippedDataFolder(const QString &programFolder);

// Creates `folder` when needed, copies each seeded file missing there from
// `dataFolder`, and makes `folder` the working directory. Returns an empty
// string, or the reason it failed (the working directory is then unchanged).
QString enter(const QString &folder, const QString &dataFolder);

} // namespace WorkingFolder

namespace WorkingFolder {
// For a start from the desktop menu: enters desktopFolder(), seeded from the
// folder shipped beside the program. A failure is shown in a box and on
// standard error; the result says whether the program can go on.
bool enterForDesktopStart();
} // namespace WorkingFolder
