#include "FormFixture.h"
#include "TVaComm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <sys/stat.h>

// Start-up, close and the tab rule of the main window, driven through the
// state file "PANTRIX.sav" in a fresh working directory.
namespace {

// Whether process `pid` has a handler for `signalNumber`, from its SigCgt mask.
bool catchesSignal(pid_t pid, int signalNumber)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
    }
    return false;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    static QByteArray stateFile(const QStringList &lines)
    {
        QByteArray data;
        for (const QString &line : lines)
            data += line.toLatin1() + "\r\n";
        return data;
    }

private slots:
    void withoutAnyFile()
    {
        FormFixture f;
        TForm1 &form = f.show();
        auto &ui = f.ui();
        QCOMPARE(form.windowTitle(), QStringLiteral("PANTRIX_3.0"));
        QCOMPARE(ui.PageControl1->activePage(), ui.TabSheet1);
        QCOMPARE(ui.ComboBox2->itemIndex(), -1);
        QCOMPARE(ui.ComboBox2->text(), QStringLiteral("Kein COM-Port ausgewählt"));
        QCOMPARE(form.VaComm1->PortNum(), 8);
        QVERIFY(!ui.CheckBox1->isChecked());
        QCOMPARE(ui.RadioGroup8->items(), QStringList{"Deutsch"});
        QCOMPARE(ui.RadioGroup8->itemIndex(), 0);
        QCOMPARE(form.statusText(), QString(36, u' '));
        QCOMPARE(ui.ComboBox1->itemIndex(), 0);
        QVERIFY(!ui.PageControl1->isPageTabVisible(ui.TabSheet3));
        QVERIFY(!ui.Button12->isHidden());
        QVERIFY(ui.RadioButton3->isHidden());
        QVERIFY(ui.RadioButton4->isChecked());
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(form.messageText(68), QStringLiteral("Bitte zuerst COM-Port auswählen!"));
        form.close();
        QCOMPARE(f.readFile("PANTRIX.sav"), QByteArray("-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n"));
    }

    void portLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("3 selects COM 4") << "3" << 3 << "COM 4";
        QTest::newRow("0 selects COM 1") << "0" << 0 << "COM 1";
        QTest::newRow("15 selects COM 16") << "15" << 15 << "COM 16";
        QTest::newRow("-1 selects none") << "-1" << -1 << "Kein COM-Port ausgewählt";
        QTest::newRow("16 selects none") << "16" << -1 << "Kein COM-Port ausgewählt";
    }
    void portLine()
    {
        QFETCH(QString, line);
        QFETCH(int, index);
        QFETCH(QString, text);
        FormFixture f;
        f.writeFile("PANTRIX.sav", stateFile({line, "FALSE", "TRUE", "FALSE", "0"}));
        TForm1 &form = f.show();
        QCOMPARE(f.ui().ComboBox2->itemIndex(), index);
        QCOMPARE(f.ui().ComboBox2->text(), text);
        QCOMPARE(form.VaComm1->PortNum(), index + 1);
        form.close();
        QCOMPARE(f.readFile("PANTRIX.sav").split('\r').first(), QByteArray::number(index));
    }

    void offlineLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("offline");
        QTest::newRow("TRUE") << "TRUE" << true;
        QTest::newRow("true") << "true" << true;
        QTest::newRow("True") << "True" << true;
        QTest::newRow("1") << "1" << true;
        QTest::newRow("0") << "0" << false;
        QTest::newRow("FALSE") << "FALSE" << false;
    }
    void offlineLine()
    {
        QFETCH(QString, line);
        QFETCH(bool, offline);
        FormFixture f;
        f.writeFile("PANTRIX.sav", stateFile({"-1", "FALSE", "TRUE", line, "0"}));
        TForm1 &form = f.show();
        auto &ui = f.ui();
        QCOMPARE(ui.CheckBox1->isChecked(), offline);
        for (QWidget *w : {static_cast<QWidget *>(ui.Panel4), static_cast<QWidget *>(ui.Button6),
                           static_cast<QWidget *>(ui.Button11), static_cast<QWidget *>(ui.Button8),
                           static_cast<QWidget *>(ui.Button7), static_cast<QWidget *>(ui.Button12),
                           static_cast<QWidget *>(ui.RadioButton4)})
            QCOMPARE(w->isHidden(), offline);
        QCOMPARE(form.statusText(), offline ? QStringLiteral("Offline Betrieb") + QString(21, u' ')
                                            : QString(36, u' '));
        QVERIFY(f.dialogs.errors.isEmpty());
    }

    void versionLinesAreOverridden()
    {
        FormFixture f;
        f.writeFile("PANTRIX.sav", stateFile({"2", "TRUE", "FALSE", "FALSE", "0"}));
        TForm1 &form = f.show();
        QVERIFY(!f.ui().RadioButton3->isChecked());
        QVERIFY(f.ui().RadioButton3->isHidden());
        QVERIFY(f.ui().RadioButton4->isChecked());
        form.close();
        QCOMPARE(f.readFile("PANTRIX.sav"), QByteArray("2\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n"));
    }

    void badLineStopsStartUp_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("portIndex");
        QTest::newRow("port not a number") << stateFile({"x", "FALSE", "TRUE", "FALSE", "0"})
                                           << "'x' is not a valid integer value." << -1;
        QTest::newRow("version 2 not a boolean") << stateFile({"4", "FALSE", "maybe", "FALSE", "0"})
                                                 << "'maybe' is not a valid boolean value." << 4;
        QTest::newRow("language line missing") << stateFile({"5", "FALSE", "TRUE", "FALSE"})
                                               << "'' is not a valid integer value." << 5;
        QTest::newRow("empty file") << QByteArray() << "'' is not a valid integer value." << -1;
        // Bytes are named as the window shows them: Windows-1252, a zero byte visibly.
        QTest::newRow("0x80 as the euro sign")
            << QByteArray("\x80\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n")
            << "'\u20AC' is not a valid integer value." << -1;
        QTest::newRow("zero byte shown, text whole")
            << QByteArray("2\r\nFALSE\r\nTRUE\r\nFALSE\r\n1\x00"
                          "2\r\n",
                          28)
            << "'1\u24002' is not a valid integer value." << 2;
    }
    void badLineStopsStartUp()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(int, portIndex);
        FormFixture f;
        f.writeFile("PANTRIX.sav", content);
        f.writeFile("Default.hsv",
                    QByteArray::fromHex("1B4854FF0606060606060606060606060606060D0A"));
        TForm1 &form = f.show();
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|" + error});
        QCOMPARE(f.ui().ComboBox2->itemIndex(), portIndex);
        // The steps after the bad line did not run: no default file, brightness tab visible.
        QVERIFY(f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("001"));
        // The window stays usable.
        QCOMPARE(form.statusText(), QString(36, u' '));
    }

    // A FIFO under a start-up file's name must not block the open, an endless
    // device must not be read, and a huge file is refused before it is read.
    void startUpFileThatIsNoDataFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("error");
        const QString denied = "File access denied.";
        for (const char *name : {"PANTRIX.sav", "Language.mlf", "Default.esv", "Default.hsv"})
            QTest::addRow("fifo %s", name) << QString(name) << "fifo" << denied;
        for (const char *name : {"PANTRIX.sav", "Language.mlf"})
            QTest::addRow("%s links to /dev/zero", name) << QString(name) << "zero" << denied;
        QTest::newRow("Language.mlf of 81 MB")
            << "Language.mlf"
            << "81000000"
            << "File too large: 'Language.mlf' has more than 4194304 bytes.";
        QTest::newRow("PANTRIX.sav of 4097 bytes")
            << "PANTRIX.sav"
            << "4097"
            << "File too large: 'PANTRIX.sav' has more than 4096 bytes.";
    }
    void startUpFileThatIsNoDataFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QString, error);
        FormFixture f;
        if (kind == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(f.path(name)).constData(), 0600), 0);
        } else if (kind == "zero") {
            QVERIFY(QFile::link("/dev/zero", f.path(name)));
        } else {
            QFile big(f.path(name)); // sparse: takes no room on the disk
            QVERIFY(big.open(QIODevice::WriteOnly));
            QVERIFY(big.resize(kind.toLongLong()));
        }
        f.show();
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|" + error});
        // The start-up ended there; the window stays usable.
        QVERIFY(f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
    }

    void tabRule_data()
    {
        QTest::addColumn<bool>("offline");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("stays");
        for (bool offline : {false, true}) {
            const char *mode = offline ? "offline" : "disconnected";
            QTest::addRow("%s Sprache", mode) << offline << 0 << true;
            QTest::addRow("%s COM-Port", mode) << offline << 1 << true;
            QTest::addRow("%s Einstellungen", mode) << offline << 2 << offline;
            QTest::addRow("%s User string", mode) << offline << 3 << offline;
            QTest::addRow("%s Info", mode) << offline << 4 << true;
        }
    }
    void tabRule()
    {
        QFETCH(bool, offline);
        QFETCH(int, tab);
        QFETCH(bool, stays);
        FormFixture f;
        TForm1 &form = f.show();
        f.ui().CheckBox1->setChecked(offline);
        f.ui().PageControl1->setActivePage(f.ui().TabSheet5);
        f.ui().PageControl1->selectTabAsUser(tab);
        if (stays) {
            QCOMPARE(f.ui().PageControl1->tabIndex(), tab);
            QVERIFY(f.dialogs.warnings.isEmpty());
        } else {
            QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet1);
            QCOMPARE(f.dialogs.warnings, QStringList{"Bitte zuerst COM-Port auswählen!"});
        }
        Q_UNUSED(form);
    }

    void userStringTabTakesTheFocus()
    {
        FormFixture f;
        TForm1 &form = f.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        f.ui().CheckBox1->setChecked(true);
        f.ui().PageControl1->selectTabAsUser(3);
        QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet6);
        QTRY_VERIFY(f.ui().Edit1->hasFocus());
    }

    void stateFileIsReplacedWhole()
    {
        FormFixture f;
        f.writeFile("PANTRIX.sav", stateFile({"7", "FALSE", "TRUE", "TRUE", "0"}) + "junk\r\n");
        TForm1 &form = f.show();
        f.ui().CheckBox1->setChecked(false);
        form.close();
        QCOMPARE(f.readFile("PANTRIX.sav"), QByteArray("7\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n"));
    }

    void stateFileBehindALinkStaysALink()
    {
        FormFixture f;
        QDir().mkdir(f.path("conf"));
        f.writeFile("conf/state.sav", stateFile({"2", "FALSE", "TRUE", "FALSE", "0"}));
        QVERIFY(QFile::link("conf/state.sav", f.path("PANTRIX.sav")));
        TForm1 &form = f.show();
        f.ui().CheckBox1->setChecked(true);
        form.close();
        QVERIFY(QFileInfo(f.path("PANTRIX.sav")).isSymLink());
        QCOMPARE(f.readFile("conf/state.sav"), stateFile({"2", "FALSE", "TRUE", "TRUE", "0"}));
    }

    void unwritableStateFileIsReported()
    {
        FormFixture f;
        QDir().mkdir(f.path("PANTRIX.sav")); // a folder where the file should go
        TForm1 &form = f.show();
        form.close();
        // Reading it at start-up fails, and so does writing it at close.
        QCOMPARE(f.dialogs.errors, (QStringList{"PANTRIX_V20|File access denied.",
                                                "PANTRIX_V20|File access denied."}));
    }

    // The program itself, ended by SIGTERM while it waits idle or while a box
    // of the start-up is open that nobody closes.
    void terminationSignalWritesTheStateFile_data()
    {
        QTest::addColumn<QByteArray>("stateFile"); // "dir": a folder of that name
        QTest::addColumn<QByteArray>("written");   // empty: nothing can be written
        QTest::addColumn<QString>("standardError");
        QTest::addColumn<int>("signalNumber");
        const QByteArray defaults("-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n");
        QTest::newRow("no files") << QByteArray() << defaults << QString() << SIGTERM;
        QTest::newRow("no files, Ctrl+C") << QByteArray() << defaults << QString() << SIGINT;
        QTest::newRow("start-up error box open")
            << QByteArray("x\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n") << defaults << QString()
            << SIGTERM;
        QTest::newRow("state file is a folder: start-up box, then no box at close")
            << QByteArray("dir") << QByteArray()
            << "PANTRIX_V20: %1 not written: File access denied.\n"
            << SIGTERM;
    }
    void terminationSignalWritesTheStateFile()
    {
        QFETCH(QByteArray, stateFile);
        QFETCH(QByteArray, written);
        QFETCH(QString, standardError);
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        const QString statePath = dir.filePath("PANTRIX.sav");
        if (stateFile == "dir") {
            QVERIFY(QDir().mkdir(statePath));
        } else if (!stateFile.isEmpty()) {
            QFile f(statePath);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(stateFile);
        }
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("QT_LOGGING_RULES", "qt.*=false");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PANTRIX_EXECUTABLE), {});
        QVERIFY(program.waitForStarted());
        // A signal before the program catches it would end it the default way:
        // wait until it does, however slowly a loaded machine starts it.
        QVERIFY(QTest::qWaitFor(
            [&] { return catchesSignal(pid_t(program.processId()), signalNumber); }, 60000));
        QTest::qWait(500); // the start-up's box, where there is one, is open by now
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(program.processId()), signalNumber);
        // Well within the backstop of the program; generous for a loaded machine.
        QVERIFY(program.waitForFinished(10000));
        qInfo("ended %lld ms after the signal", qint64(clock.elapsed()));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        if (!standardError.isEmpty())
            QVERIFY2(errors.contains(standardError.arg(
                         QDir(QFileInfo(dir.path()).canonicalFilePath()).filePath("PANTRIX.sav"))),
                     qPrintable(errors));
        if (written.isEmpty()) {
            QVERIFY(QFileInfo(statePath).isDir());
            return;
        }
        QFile state(statePath);
        QVERIFY(state.open(QIODevice::ReadOnly));
        QCOMPARE(state.readAll(), written);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
