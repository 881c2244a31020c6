#include "StateFile.h"

#include "Conversions.h"
#include "DataFile.h"
#include "Exception.h"
#include "Win1252.h"

namespace StateFile {

QStringList readLines(const QString &path)
{
    const QByteArray data = DataFile::readAll(path, MaxFileSize);
    QStringList lines;
    qsizetype start = 0;
    while (lines.size() < LineCount && start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        QByteArray line = data.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines << Win1252::toUnicode(line);
        start = end + 1;
    }
    while (lines.size() < LineCount)
        lines << QString();
    return lines;
}

QByteArray format(const ApplicationState &state)
{
    const QStringList lines{
        QString::number(state.portIndex), Conversions::boolToStr(state.version1),
        Conversions::boolToStr(state.version2), Conversions::boolToStr(state.offline),
        QString::number(state.languageIndex)};
    QByteArray data;
    for (const QString &line : lines)
        data += line.toLatin1() + "\r\n";
    return data;
}

void write(const QString &path, const ApplicationState &state)
{
    DataFile::writeAtomically(path, format(state));
}

} // namespace StateFile
