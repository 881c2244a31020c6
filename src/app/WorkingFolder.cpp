#include "WorkingFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include "AppDataFolder.h"
#endif

namespace WorkingFolder {

const QStringList &seededFiles()
{
    static const QStringList files = {QStringLiteral("Language.mlf"), QStringLiteral("Default.esv"),
                                      QStringLiteral("Default.hsv")};
    return files;
}

QString desktopFolder()
{
#ifdef Q_OS_WIN
    return AppDataFolder::path();
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/pantrix");
#endif
}

QString shippedDataFolder(const QString &programFolder)
{
#ifdef Q_OS_WIN
    // The Windows package keeps the data files beside the program.
    return QDir::cleanPath(programFolder);
#else
    return QDir::cleanPath(programFolder + QStringLiteral("/../share/pantrix"));
#endif
}

QString enter(const QString &folder, const QString &dataFolder)
{
    if (!QDir().mkpath(folder))
        return QStringLiteral("Cannot create the folder %1.").arg(folder);
    const QDir target(folder);
    for (const QString &name : seededFiles()) {
        const QString source = QDir(dataFolder).filePath(name);
        if (target.exists(name) || !QFile::exists(source))
            continue;
        QFile::remove(target.filePath(name)); // a dangling link would block the copy
        if (!QFile::copy(source, target.filePath(name)))
            return QStringLiteral("Cannot copy %1 to %2.").arg(source, folder);
        // The shipped files are read-only; the user's copies are not.
        QFile::setPermissions(target.filePath(name), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ReadGroup | QFile::ReadOther);
    }
    if (!QDir::setCurrent(folder))
        return QStringLiteral("Cannot change to the folder %1.").arg(folder);
    return {};
}

} // namespace WorkingFolder

#include "ApplicationTitle.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

bool WorkingFolder::enterForDesktopStart()
{
    const QString failure =
        enter(desktopFolder(), shippedDataFolder(QCoreApplication::applicationDirPath()));
    if (failure.isEmpty())
        return true;
    std::fputs(("pantrix: " + failure + '\n').toLocal8Bit().constData(), stderr);
    QMessageBox::critical(nullptr, ApplicationTitle, failure);
    return false;
}
