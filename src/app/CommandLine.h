#pragma once

#include <QString>
#include <QStringList>

// The command line of pantrix, read before any window or display exists, so
// that --help, --version and a wrong option never open a window or need a
// display. It only reads the arguments; main() prints and ends.
//
// Qt's own options (-platform, -style, -display ...) are left for QApplication.
class CommandLine
{
public:
    enum class Action
    {
        Run,          // start the window
        PrintAndExit, // print output() on standard output, status 0
        Fail          // print error() on standard error, status 2
    };

    // The arguments include the program name first.
    static CommandLine parse(const QStringList &arguments);
    static QStringList arguments(int argc, char *argv[]);

    // For an action other than Run: prints what it has to and returns the status.
    int finish() const;

    Action action() const { return m_action; }
    QString output() const { return m_output; }
    QString error() const { return m_error; }
    // Started from the desktop menu: work in the program's own data folder.
    bool desktopStart() const { return m_desktop; }
    // The record files to load once the window has started, as absolute paths.
    QStringList files() const { return m_files; }

    static constexpr int UsageErrorStatus = 2;

private:
    Action m_action = Action::Run;
    QString m_output;
    QString m_error;
    bool m_desktop = false;
    QStringList m_files;
};
