#include "AppDataFolder.h"

#include <QDir>
#include <shlobj.h>
#include <windows.h>

namespace AppDataFolder {

namespace {

// The shell's answer, which also holds when APPDATA was removed from the
// environment; the variable is the fallback.
QString roamingAppData()
{
    PWSTR folder = nullptr;
    QString result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_DEFAULT, nullptr, &folder)))
        result = QString::fromWCharArray(folder);
    CoTaskMemFree(folder);
    if (result.isEmpty())
        result = qEnvironmentVariable("APPDATA");
    if (result.isEmpty())
        result = QDir::homePath() + QStringLiteral("/AppData/Roaming");
    return QDir::fromNativeSeparators(result);
}

} // namespace

QString path()
{
    return roamingAppData() + QStringLiteral("/pantrix");
}

} // namespace AppDataFolder
