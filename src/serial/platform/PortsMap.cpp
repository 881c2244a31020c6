#include "PortsMap.h"

#include "DataFile.h"
#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <unistd.h>

#ifdef Q_OS_WIN
#include "AppDataFolder.h"
#endif

namespace {

QString environmentPath(const char *name)
{
    return QFile::decodeName(qgetenv(name));
}

// The line without a comment: '#' starts one at the beginning of the line or
// after a blank, so a '#' inside a device name stays part of it.
QStringView withoutComment(QStringView line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('#') && (i == 0 || line[i - 1].isSpace()))
            return line.left(i);
    }
    return line;
}

} // namespace

QString PortsMap::filePath()
{
    const QString explicitFile = environmentPath("PANTRIX_PORTS_FILE");
    if (!explicitFile.isEmpty())
        return explicitFile;
#ifdef Q_OS_WIN
    return AppDataFolder::path() + QStringLiteral("/ports");
#else
    QString configHome = environmentPath("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative XDG_CONFIG_HOME.
    if (!QDir::isAbsolutePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return configHome + QStringLiteral("/pantrix/ports");
#endif
}

PortsMap PortsMap::load(const QString &path)
{
    // Only a regular file is read, so a FIFO under the name cannot block the
    // port choice; what cannot be read is an empty map.
    int fd = -1;
    try {
        fd = DataFile::openForReading(path);
    } catch (const Exception &) {
        return PortsMap();
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return PortsMap();
    }
    return parse(QFile::decodeName(file.read(MaxFileSize)));
}

PortsMap PortsMap::parse(const QString &text)
{
    PortsMap map;
    for (const QStringView line : QStringView(text).split(QLatin1Char('\n')))
        map.parseLine(withoutComment(line).trimmed());
    return map;
}

void PortsMap::parseLine(QStringView line)
{
    static const QRegularExpression entry(QStringLiteral("^COM([1-9][0-9]{0,8})\\s*=\\s*(.*)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = entry.match(line.toString());
    if (!match.hasMatch())
        return;
    const QString target = match.captured(2);
    if (target.isEmpty())
        return;
    m_targets.insert(match.captured(1).toInt(), target);
}

std::optional<QString> PortsMap::target(int comNumber) const
{
    const auto found = m_targets.constFind(comNumber);
    if (found == m_targets.constEnd())
        return std::nullopt;
    return *found;
}

QList<int> PortsMap::comNumbers() const
{
    QList<int> numbers = m_targets.keys();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
