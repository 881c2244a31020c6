#pragma once

#include <QString>

class QWidget;

// Settings of one of the window's file dialogs. The dialog remembers the
// file last chosen in it and offers it again next time.
struct FileDialogSettings
{
    QString name;          // "OpenDialog1", "SaveDialog2"...
    QString filter;        // description, "|", pattern: "Einstellungen (*.esv)|*.esv"
    QString defaultSuffix; // added to a name typed without an extension
    bool overwritePrompt = false;
    QString lastFile;
};

// Every message box and file dialog the window shows goes through here, so
// that tests can record the messages and choose files without a modal loop.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // Modal box with the warning symbol and a single OK button.
    virtual void warning(QWidget *parent, const QString &text) = 0;
    // Modal box with the error symbol, a caption and a single OK button.
    virtual void error(QWidget *parent, const QString &caption, const QString &text) = 0;
    // Yes/No question; true for Yes.
    virtual bool question(QWidget *parent, const QString &caption, const QString &text) = 0;
    // The chosen file, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget *parent, FileDialogSettings &dialog) = 0;
    virtual QString saveFileName(QWidget *parent, FileDialogSettings &dialog) = 0;
};

// The dialogs of the desktop: QMessageBox and QFileDialog.
class DesktopDialogs : public UserDialogs
{
public:
    void warning(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &caption, const QString &text) override;
    bool question(QWidget *parent, const QString &caption, const QString &text) override;
    QString openFileName(QWidget *parent, FileDialogSettings &dialog) override;
    QString saveFileName(QWidget *parent, FileDialogSettings &dialog) override;

private:
    QString runFileDialog(QWidget *parent, FileDialogSettings &dialog, bool save);
};

// Passes the window's boxes and file dialogs on until it is closed: once the
// window has gone or the session ends, no box opens any more, since nobody
// could answer it and an open box would keep the program alive. A warning is
// then dropped (it could only report the end of a wait that the close itself
// caused), an error goes to standard error, a question is answered No and a
// file dialog counts as cancelled.
class DialogGate : public UserDialogs
{
public:
    explicit DialogGate(UserDialogs &dialogs) : m_dialogs(dialogs) {}

    void close() { m_closed = true; }
    bool isClosed() const { return m_closed; }

    // Ends every box, file dialog and pop-up that is open now, as Esc would.
    static void dismissOpenDialogs();

    void warning(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &caption, const QString &text) override;
    bool question(QWidget *parent, const QString &caption, const QString &text) override;
    QString openFileName(QWidget *parent, FileDialogSettings &dialog) override;
    QString saveFileName(QWidget *parent, FileDialogSettings &dialog) override;

private:
    UserDialogs &m_dialogs;
    bool m_closed = false;
};
