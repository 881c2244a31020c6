#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

// The user's own map from COM port numbers to targets, read from a ports file:
// one "COMn=target" a line (the name in any case, blanks around both sides
// allowed), blank lines and comments from a '#' at the start of a line or after
// a blank. A target is a device path or an rfc2217://HOST:PORT address. When a
// port is named twice, the later line wins, so a line appended to the file
// overrides what stood before. Lines that are no such entry are ignored.
//
// The map only reads what the user wrote; it neither checks nor invents targets.
class PortsMap
{
public:
    // The longest file read; a ports file is a few lines, anything bigger is
    // cut there rather than read into memory.
    static constexpr qint64 MaxFileSize = 64 * 1024;

    // Where the ports file is looked for: $PANTRIX_PORTS_FILE when set, else
    // $XDG_CONFIG_HOME/pantrix/ports, with ~/.config when XDG_CONFIG_HOME is
    // unset or not an absolute path. On Windows the default is
    // %APPDATA%\pantrix\ports (see AppDataFolder).
    static QString filePath();

    // The map in `path`; an empty map when there is no readable file.
    static PortsMap load(const QString &path);
    static PortsMap parse(const QString &text);

    // Maps COM `comNumber` to `target` in the ports file at `path`. Every
    // line that names the port gets the new target (so no earlier line is
    // left to mislead a reader), keeping its indentation and its comment;
    // without such a line one is appended. Every other line, comment and line
    // ending stays as it is; a file of CRLF lines gets CRLF lines. Written
    // atomically (DataFile); creates the folder and the file when missing.
    // Returns an empty string on success, else the error text, naming the
    // file; a target the file could not hold (empty, several lines, a " #"
    // that would start a comment) is refused and nothing is written.
    static QString assign(const QString &path, int comNumber, const QString &target);

    std::optional<QString> target(int comNumber) const;
    // The COM numbers the file names, in ascending order.
    QList<int> comNumbers() const;

private:
    void parseLine(QStringView line);

    QHash<int, QString> m_targets;
};
