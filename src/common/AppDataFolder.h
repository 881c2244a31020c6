#pragma once

#include <QString>

// Windows only: the folder in which pantrix keeps the user's files, the
// roaming application data folder's "pantrix" (%APPDATA%\pantrix, e.g.
// C:\Users\anna\AppData\Roaming\pantrix), with forward slashes. It is where
// the desktop start works and where the ports file lies. Not created here.
namespace AppDataFolder {

QString path();

} // namespace AppDataFolder
