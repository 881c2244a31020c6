// The line monitor's window: the view follows the monitor as entries come,
// grow, drop out of the ring and are cleared; its buttons and Esc.
#include "LineMonitor.h"
#include "LineMonitorWindow.h"
#include "RecordingDialogs.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using Direction = LineMonitor::Direction;

QStringList shown(const LineMonitorWindow &window)
{
    const QAbstractItemModel *model = window.view()->model();
    QStringList lines;
    for (int row = 0; row < model->rowCount(); ++row)
        lines << model->index(row, 0).data().toString();
    return lines;
}

QStringList ringOf(const LineMonitor &monitor)
{
    QStringList lines;
    for (const LineMonitor::Entry &entry : monitor.entries())
        lines << LineMonitor::format(entry);
    return lines;
}

} // namespace

class TestLineMonitorWindow : public QObject
{
    Q_OBJECT

private slots:
    void viewFollowsTheMonitor()
    {
        LineMonitor monitor(40);
        monitor.record("COM1", Direction::Line, "port opened");
        RecordingDialogs dialogs;
        LineMonitorWindow window(&monitor, dialogs);
        window.show();
        QCOMPARE(shown(window), ringOf(monitor)); // what was there before
        monitor.record("COM1", Direction::Out, "read-settings request", "\x1bYA\r\n");
        monitor.record("COM1", Direction::In, "settings reply", "\x1bZE");
        // The view catches up within its update interval, a chunk that
        // extends an entry included.
        QTRY_COMPARE(shown(window), ringOf(monitor));
        monitor.record("COM1", Direction::In, "settings reply", "S1");
        QTRY_COMPARE(shown(window), ringOf(monitor));
        QVERIFY(shown(window).last().endsWith("| 1B 5A 45 53 31 | <ESC>ZES1"));
        // 40 bytes: the oldest entries leave the view with the ring, also
        // when several changes come between two updates.
        monitor.record("COM1", Direction::Note, "reply complete");
        monitor.record("COM1", Direction::Out, "user string", QByteArray(32, 'x'));
        QCOMPARE(monitor.count(), 3);
        QTRY_COMPARE(shown(window), ringOf(monitor));
        window.findChild<QPushButton *>("clearButton")->click();
        QCOMPARE(monitor.count(), 0);
        QCOMPARE(shown(window), QStringList());
        monitor.record("COM1", Direction::Note, "connected");
        QTRY_COMPARE(shown(window), ringOf(monitor));
    }

    void buttonsAndKeys_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("file");    // the save dialog's answer
        QTest::addColumn<bool>("closed");     // the window closed and said so
        QTest::addColumn<QString>("warning"); // start of the one warning, if any
        QTest::newRow("Copy") << "copyButton"
                              << "" << false << "";
        QTest::newRow("Save...") << "saveButton"
                                 << "log.txt" << false << "";
        QTest::newRow("Save... cancelled") << "saveButton"
                                           << "" << false << "";
        QTest::newRow("Save... into a missing folder")
            << "saveButton"
            << "no-such-folder/log.txt" << false << "The log could not be saved to ";
        QTest::newRow("Close") << "closeButton"
                               << "" << true << "";
        QTest::newRow("Esc") << "Esc"
                             << "" << true << "";
    }
    void buttonsAndKeys()
    {
        QFETCH(QString, action);
        QFETCH(QString, file);
        QFETCH(bool, closed);
        QFETCH(QString, warning);
        QTemporaryDir dir;
        const QString path = file.isEmpty() ? QString() : dir.filePath(file);
        LineMonitor monitor;
        monitor.record("COM1", Direction::Out, "settings telegram", "\x1bZES1\r\n");
        monitor.record("COM1", Direction::Note, "echo matches");
        RecordingDialogs dialogs;
        dialogs.fileAnswers << path;
        LineMonitorWindow window(&monitor, dialogs);
        QSignalSpy closedSpy(&window, &LineMonitorWindow::closed);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::clipboard()->clear();
        if (action == "Esc")
            QTest::keyClick(window.view(), Qt::Key_Escape);
        else
            window.findChild<QPushButton *>(action)->click();

        QCOMPARE(closedSpy.count(), closed ? 1 : 0);
        QCOMPARE(window.isVisible(), !closed);
        QCOMPARE(monitor.count(), 2); // nothing but Clear empties the ring
        QCOMPARE(dialogs.warnings.size(), warning.isEmpty() ? 0 : 1);
        if (!warning.isEmpty())
            QVERIFY2(dialogs.warnings.first().startsWith(warning + path),
                     qPrintable(dialogs.warnings.first()));
        QCOMPARE(QApplication::clipboard()->text(),
                 action == "copyButton" ? monitor.text() : QString());
        if (action == "saveButton") {
            QCOMPARE(dialogs.fileRequests.size(), 1);
            QCOMPARE(dialogs.fileRequests.first().dialog, "LineMonitorSaveDialog");
            QVERIFY(dialogs.fileRequests.first().overwritePrompt);
            QFile saved(path);
            const bool written = !path.isEmpty() && warning.isEmpty();
            QCOMPARE(!path.isEmpty() && saved.open(QIODevice::ReadOnly), written);
            if (written)
                QCOMPARE(QString::fromUtf8(saved.readAll()), monitor.text());
        }
    }
};

QTEST_MAIN(TestLineMonitorWindow)
#include "tst_linemonitorwindow.moc"
