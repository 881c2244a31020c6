#include "PortsMap.h"

#include "DataFile.h"
#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

const QRegularExpression &entryPattern()
{
    static const QRegularExpression entry(QStringLiteral("^COM([1-9][0-9]{0,8})\\s*=\\s*(.*)$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return entry;
}

// Why `target` cannot stand in the file as given, or nothing.
std::optional<QString> targetProblem(int comNumber, const QString &target)
{
    if (comNumber < 1 || comNumber > 999999999)
        return QStringLiteral("COM%1 is no port number from 1 to 999999999").arg(comNumber);
    if (target.trimmed().isEmpty())
        return QStringLiteral("the target for COM%1 is empty").arg(comNumber);
    if (target.contains(u'\n') || target.contains(u'\r'))
        return QStringLiteral("the target for COM%1 has several lines").arg(comNumber);
    if (withoutComment(target).size() != target.size())
        return QStringLiteral("the target for COM%1 has a '#' after a blank, which would start "
                              "a comment")
            .arg(comNumber);
    return std::nullopt;
}

// `line` (its ending removed) with `entry` in place of the entry it holds,
// its indentation and comment kept; nothing when it names another port or none.
std::optional<QByteArray> replacedLine(const QByteArray &line, int comNumber,
                                       const QByteArray &entry)
{
    const QString text = QFile::decodeName(line);
    const QStringView content = withoutComment(text).trimmed();
    const QRegularExpressionMatch match = entryPattern().match(content.toString());
    if (!match.hasMatch() || match.captured(1).toInt() != comNumber)
        return std::nullopt;
    const qsizetype start = content.data() - text.data();
    return QFile::encodeName(text.left(start)) + entry +
           QFile::encodeName(text.mid(start + content.size()));
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
    const QRegularExpressionMatch match = entryPattern().match(line.toString());
    if (!match.hasMatch())
        return;
    const QString target = match.captured(2);
    if (target.isEmpty())
        return;
    m_targets.insert(match.captured(1).toInt(), target);
}

QString PortsMap::assign(const QString &path, int comNumber, const QString &target)
{
    if (const auto problem = targetProblem(comNumber, target))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), *problem);
    const QByteArray entry =
        QStringLiteral("COM%1=%2").arg(comNumber).arg(target.trimmed()).toUtf8();
    try {
        QByteArray text;
        if (QFileInfo::exists(path))
            text = DataFile::readAll(path, MaxFileSize);
        else if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return QStringLiteral("%1: the folder cannot be created")
                .arg(QDir::toNativeSeparators(path));
        // The last line has no ending when the file does not end with one.
        QList<QByteArray> lines = text.split('\n');
        const bool crlf = text.contains("\r\n");
        bool replaced = false;
        for (QByteArray &line : lines) {
            const bool hadReturn = line.endsWith('\r');
            const QByteArray body = hadReturn ? line.chopped(1) : line;
            if (const auto changed = replacedLine(body, comNumber, entry)) {
                line = *changed + (hadReturn ? "\r" : "");
                replaced = true;
            }
        }
        if (!replaced) {
            if (!lines.last().isEmpty())
                lines.last() += crlf ? "\r\n" : "\n";
            lines.last() += entry + (crlf ? "\r\n" : "\n");
        }
        DataFile::writeAtomically(path, lines.join('\n'));
    } catch (const Exception &error) {
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), error.message());
    }
    return {};
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
