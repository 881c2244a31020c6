#pragma once

#include <QString>
#include <QStringList>

// The application state file "PANTRIX.sav": five text lines ended by CR LF
// (port index, "Version 1", "Version 2", offline working, language index).
// Reading hands back the raw lines, so the start-up can convert and apply
// them one after the other; a missing line reads as an empty text.
struct ApplicationState
{
    int portIndex = -1;
    bool version1 = false;
    bool version2 = true;
    bool offline = false;
    int languageIndex = 0;
};

namespace StateFile {

inline const QString FileName = QStringLiteral("PANTRIX.sav");
constexpr int LineCount = 5;
// Five short lines take some 30 bytes; a larger file is no state file.
constexpr qint64 MaxFileSize = 4096;

// Raises EInOutError when the file exists but cannot be read, is no regular
// file or is larger than MaxFileSize. The lines are Windows-1252 text, as
// everywhere in the program, so a stray byte is named in an error as the
// window shows it.
QStringList readLines(const QString &path);

QByteArray format(const ApplicationState &state);

// Replaces the file whole (see DataFile::writeAtomically).
void write(const QString &path, const ApplicationState &state);

} // namespace StateFile
