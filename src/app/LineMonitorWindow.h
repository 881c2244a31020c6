#pragma once

#include "UserDialogs.h"

#include <QWidget>

class LineMonitor;
class LineMonitorModel;
class QListView;
class QPushButton;

// The texts of the line monitor's window, in one place so that they can be
// taken from the language file later.
struct LineMonitorTexts
{
    QString title = QStringLiteral("Line monitor");
    QString copy = QStringLiteral("&Copy");
    QString save = QStringLiteral("&Save...");
    QString clear = QStringLiteral("C&lear");
    QString close = QStringLiteral("Close");
    // For the save dialog: description and pattern, as FileDialogSettings has them.
    QString saveFilter = QStringLiteral("Text files (*.txt)|*.txt");
    // %1 the file, %2 the reason.
    QString saveFailed = QStringLiteral("The log could not be saved to %1: %2");
};

// Shows a LineMonitor's traffic live, one entry a line in a read-only list in
// a fixed-width font that follows the newest entry while it is scrolled to
// the end. Copy puts the whole log on the clipboard, Save... writes it to a
// text file (atomically, through the dialogs given), Clear empties the view
// and the monitor's ring, Close and Esc close the window.
//
// A top-level window also when it has a parent. It neither owns the monitor
// nor attaches it to a link: whoever opens it does that, and detaches the
// monitor on closed().
class LineMonitorWindow : public QWidget
{
    Q_OBJECT

public:
    LineMonitorWindow(LineMonitor *monitor, UserDialogs &dialogs, QWidget *parent = nullptr,
                      const LineMonitorTexts &texts = {});

    LineMonitor *monitor() const { return m_monitor; }
    QListView *view() const { return m_view; }

    void copyAll();
    void saveAs();
    void clearLog();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QPushButton *addButton(const QString &name, const QString &text);

    LineMonitor *m_monitor;
    UserDialogs &m_dialogs;
    LineMonitorTexts m_texts;
    LineMonitorModel *m_model;
    QListView *m_view;
    QWidget *m_buttons;
    FileDialogSettings m_saveDialog;
    bool m_following = true;
};
