#include "FormFixture.h"
#include "MessageRow.h"
#include "PtyDisplay.h"
#include "ShutdownOnSignal.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <unistd.h>

namespace {

// Real boxes and file dialogs, as the program shows them; a file dialog
// answers from the queue while it holds a name.
class DesktopDialogsWithAnswers : public DesktopDialogs
{
public:
    QStringList fileAnswers;

    QString openFileName(QWidget *parent, FileDialogSettings &dialog) override
    {
        return fileAnswers.isEmpty() ? DesktopDialogs::openFileName(parent, dialog)
                                     : fileAnswers.takeFirst();
    }
    QString saveFileName(QWidget *parent, FileDialogSettings &dialog) override
    {
        return fileAnswers.isEmpty() ? DesktopDialogs::saveFileName(parent, dialog)
                                     : fileAnswers.takeFirst();
    }
};

void sendTermination()
{
    ::kill(::getpid(), SIGTERM);
}

// Records every box and file dialog that opens, and sends SIGTERM to this
// process shortly after the one whose text is `signalAt` has opened.
class BoxWatcher : public QObject
{
public:
    BoxWatcher(const TForm1 &form, const QString &signalAt) : m_form(form), m_signalAt(signalAt)
    {
        qApp->installEventFilter(this);
    }

    QStringList boxes;
    QStringList boxesAfterClose;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (event->type() != QEvent::Show || !dialog || !dialog->isWindow())
            return false;
        QString text = QStringLiteral("file dialog");
        if (auto *box = qobject_cast<QMessageBox *>(dialog))
            text = box->text();
        (m_form.isClosed() ? boxesAfterClose : boxes) << text;
        if (text == m_signalAt)
            QTimer::singleShot(200, this, &sendTermination);
        return false;
    }

private:
    const TForm1 &m_form;
    QString m_signalAt;
};

const QByteArray DefaultState("-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n");
const QByteArray Com3State("2\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n");

} // namespace

// A termination signal ends the program whatever box, file dialog or wait is
// open: each case runs the application's event loop with real boxes, sends
// SIGTERM to this process at a chosen moment and checks that the loop returns
// 0 with the state file written, and that no box opens after the window has
// gone.
class TestTermination : public QObject
{
    Q_OBJECT

public:
    enum Scenario
    {
        TransferTimeout,    // a silent display: the time-out box, the echo box behind it
        TransferWait,       // the same, signalled during the wait itself
        GuardError,         // a handler's error box
        FileDialog,         // "Einstellungen speichern" with its file dialog open
        StartupError,       // a bad state file line at start-up
        CloseTimeError,     // the user closes, the state file cannot be written
        UnwritableOnSignal, // the signal closes, the state file cannot be written
        ForeignLoop,        // something keeps a nested loop running after the close
        LoopInsideAWait,    // ... or inside a wait, so that the window cannot close
    };
    Q_ENUM(Scenario)

private:
    static QString row(int r) { return FormFixture::germanMessage(r); }

    // Connects "COM 3" to the display played on the pty, which sends ENQ
    // every 500 ms and echoes nothing.
    static void connectSilentDisplay(FormFixture &f, PtyDisplay &pty, QTimer &alive)
    {
        f.ui().ComboBox2->chooseAsUser(2);
        connect(&alive, &QTimer::timeout, &pty, [&pty] { pty.send("\x05"); });
        alive.start(500);
        QObject::connect(
            &f.form->link(), &DisplayLink::waitingForAck, &pty, [&pty] { pty.send("\x06"); },
            Qt::SingleShotConnection);
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
    }

    static void act(Scenario scenario, FormFixture &f, PtyDisplay &pty, QTimer &alive,
                    DesktopDialogsWithAnswers &dialogs, bool &released)
    {
        TForm1 &form = *f.form;
        form.show();
        QCoreApplication::processEvents(); // the start-up
        if (form.isClosed())
            return;
        switch (scenario) {
        case TransferTimeout:
        case TransferWait:
            connectSilentDisplay(f, pty, alive);
            if (!form.connected()) {
                QCoreApplication::exit(98); // the display did not connect: no case to run
                return;
            }
            if (scenario == TransferWait)
                QTimer::singleShot(300, &pty, &sendTermination); // well before the time-out
            QTest::mouseClick(f.ui().Button6, Qt::LeftButton);
            break;
        case GuardError:
            dialogs.fileAnswers << f.path("missing.esv");
            QTest::mouseClick(f.ui().Button4, Qt::LeftButton);
            break;
        case FileDialog:
            QTest::mouseClick(f.ui().Button3, Qt::LeftButton);
            break;
        case StartupError:
            break;
        case CloseTimeError:
            QDir().mkdir(f.path("PANTRIX.sav"));
            form.close();
            break;
        case UnwritableOnSignal:
            QDir().mkdir(f.path("PANTRIX.sav"));
            sendTermination();
            break;
        case ForeignLoop:
            sendTermination();
            while (!released)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            break;
        case LoopInsideAWait:
            connectSilentDisplay(f, pty, alive);
            QTimer::singleShot(500, &pty, [&released] {
                sendTermination();
                while (!released)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            });
            QTest::mouseClick(f.ui().Button6, Qt::LeftButton);
            break;
        }
    }

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

    void signalsInEveryBox_data()
    {
        QTest::addColumn<Scenario>("scenario");
        QTest::addColumn<QByteArray>("stateBefore");
        QTest::addColumn<QString>("signalAt");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QByteArray>("stateAfter"); // empty: the folder stays in its place
        QTest::addColumn<bool>("backstop");

        const QString timeout = row(MessageRow::ConfirmationTimeout);
        QTest::newRow("transfer time-out box, echo box behind it")
            << TransferTimeout << QByteArray() << timeout << QStringList{timeout} << Com3State
            << false;
        QTest::newRow("transfer wait")
            << TransferWait << QByteArray() << QString() << QStringList() << Com3State << false;
        QTest::newRow("error box of a handler")
            << GuardError << QByteArray() << "File not found." << QStringList{"File not found."}
            << DefaultState << false;
        QTest::newRow("file dialog") << FileDialog << QByteArray() << "file dialog"
                                     << QStringList{"file dialog"} << DefaultState << false;
        const QString badLine = QStringLiteral("'x' is not a valid integer value.");
        QTest::newRow("start-up error box")
            << StartupError << QByteArray("x\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n") << badLine
            << QStringList{badLine} << DefaultState << false;
        QTest::newRow("close-time error box")
            << CloseTimeError << QByteArray() << "File access denied."
            << QStringList{"File access denied."} << QByteArray() << false;
        QTest::newRow("unwritable state file, no box")
            << UnwritableOnSignal << QByteArray() << QString() << QStringList() << QByteArray()
            << false;
        QTest::newRow("backstop ends a loop that does not end")
            << ForeignLoop << QByteArray() << QString() << QStringList() << DefaultState << true;
        QTest::newRow("backstop writes the state file when the window cannot close")
            << LoopInsideAWait << QByteArray() << QString() << QStringList() << Com3State << true;
    }
    void signalsInEveryBox()
    {
        QFETCH(Scenario, scenario);
        QFETCH(QByteArray, stateBefore);
        QFETCH(QString, signalAt);
        QFETCH(QStringList, boxes);
        QFETCH(QByteArray, stateAfter);
        QFETCH(bool, backstop);

        FormFixture f;
        PtyDisplay pty;
        QVERIFY(pty.isValid());
        qputenv("PANTRIX_COM3", pty.slavePath().toLocal8Bit());
        auto unsetPort = qScopeGuard([] { qunsetenv("PANTRIX_COM3"); });
        if (!stateBefore.isEmpty())
            f.writeFile("PANTRIX.sav", stateBefore);
        DesktopDialogsWithAnswers dialogs;
        f.form = std::make_unique<TForm1>(&dialogs);
        TForm1 &form = *f.form;
        BoxWatcher watcher(form, signalAt);
        QTimer alive;
        bool released = false;
        bool backstopFired = false;
        QByteArray stateAtBackstop;
        int status = -1;
        {
            ShutdownOnSignal shutdown(form, [&] {
                backstopFired = true;
                stateAtBackstop = f.readFile("PANTRIX.sav");
                released = true;
            });
            QVERIFY2(shutdown.isActive(), qPrintable(shutdown.errorString()));
            QTimer::singleShot(0, [&] { act(scenario, f, pty, alive, dialogs, released); });
            // Should the program fail to end, the test does, instead of hanging.
            QTimer watchdog;
            watchdog.setSingleShot(true);
            connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
            watchdog.start(30000);
            status = QCoreApplication::exec();
        }
        alive.stop();
        QCOMPARE(status, 0);
        QCOMPARE(backstopFired, backstop);
        if (backstop) // the process would end here: its state file is written
            QCOMPARE(stateAtBackstop, stateAfter);
        QVERIFY(form.isClosed());
        QVERIFY(!form.isVisible());
        QCOMPARE(watcher.boxes, boxes);
        QCOMPARE(watcher.boxesAfterClose, QStringList());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        if (stateAfter.isEmpty())
            QVERIFY(QFileInfo(f.path("PANTRIX.sav")).isDir());
        else
            QCOMPARE(f.readFile("PANTRIX.sav"), stateAfter);
        QVERIFY(QDir(f.path(".")).entryList({"*.esv"}, QDir::Files).isEmpty());
    }
};

QTEST_MAIN(TestTermination)
#include "tst_termination.moc"
