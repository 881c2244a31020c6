#include "CommandLine.h"
#include "DesktopIdentity.h"
#include "DetailLine.h"
#include "FormFixture.h"
#include "LanguageFileWriter.h"
#include "MessageRow.h"
#include "PortsPanel.h"
#include "PtyPair.h"
#include "StatusLine.h"
#include "WorkingFolder.h"
#include "platform/PortOpenDiagnosis.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// What makes the window a desktop program: its command line, where it
// works, why a port did not open, and what assistive technology sees.
class TestDesktop : public QObject
{
    Q_OBJECT

    static QString sourceFile(const QString &name)
    {
        return QStringLiteral(PANTRIX_SOURCE_DIR "/") + name;
    }
    static QByteArray contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

private slots:
    void programCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("platform");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"--help"} << "offscreen" << 0
                              << "Usage: pantrix [options]"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << "offscreen" << 0
                                 << "pantrix " PANTRIX_VERSION "\n"
                                 << "";
        QTest::newRow("unknown option")
            << QStringList{"--bogus"} << "offscreen" << 2 << ""
            << "pantrix: Unknown option 'bogus'.\nTry 'pantrix --help'.\n";
        QTest::newRow("help needs no display") << QStringList{"--help"} << "xcb" << 0 << "--desktop"
                                               << "";
        QTest::newRow("no display") << QStringList{} << "xcb" << 1 << ""
                                    << "pantrix: cannot show the window: no display could be "
                                       "opened (DISPLAY=unset, WAYLAND_DISPLAY=unset).\n"
                                       "Start pantrix in a desktop session; pantrix --help works "
                                       "without one.\n";
    }
    void programCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, platform);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir dir;
        QProcess program;
        program.setWorkingDirectory(dir.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", platform);
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PANTRIX_EXECUTABLE), arguments);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QString stdOut = QString::fromLocal8Bit(program.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(program.readAllStandardError());
        QVERIFY2(stdOut.contains(out), qPrintable(stdOut));
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.endsWith(err), qPrintable(stdErr));
        // No window ran, so no state file was written.
        QVERIFY(!QFile::exists(dir.filePath("PANTRIX.sav")));
    }

    // Tab walks each page in the order of its layout, and every control it
    // stops at has a name that a screen reader can say.
    void keyboardFollowsTheLayout_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("languageFile");
        QTest::addColumn<QStringList>("inOrder");
        QTest::newRow("COM-Port") << "TabSheet1" << false << QStringList{"ComboBox2", "Button9"};
        const QStringList settings{"RadioGroup1Item", "RadioGroup7Item", "MaskEdit1",
                           "MaskEdit2",       "MaskEdit19",      "RadioGroup5Item",
                           "RadioGroup6Item", "ComboBox1",       "Button3",
                           "Button11"};
        QTest::newRow("Einstellungen") << "TabSheet2" << false << settings;
        // A language puts new items into the choices after every other control was made.
        QTest::newRow("Einstellungen, language file") << "TabSheet2" << true << settings;
        QTest::newRow("User string") << "TabSheet6" << false << QStringList{"Edit1", "Button12"};
    }
    void keyboardFollowsTheLayout()
    {
        QFETCH(QString, page);
        QFETCH(bool, languageFile);
        QFETCH(QStringList, inOrder);
        FormFixture f;
        if (languageFile)
            f.writeFile("Language.mlf", LanguageFileWriter().content());
        TForm1 &form = f.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        f.ui().PageControl1->setActivePage(form.findChild<QWidget *>(page));
        f.ui().PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
        QStringList walked;
        QStringList unnamed;
        for (int i = 0; i < 100; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *focus = QApplication::focusWidget();
            QVERIFY(focus);
            if (focus == f.ui().PageControl1->tabBar())
                break;
            walked << focus->objectName();
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(focus);
            if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty())
                unnamed << focus->objectName() + u'/' + focus->metaObject()->className();
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
        qsizetype last = -1;
        for (const QString &name : inOrder) {
            const qsizetype at =
                std::find_if(walked.cbegin(), walked.cend(),
                             [&name](const QString &w) { return w.startsWith(name); }) -
                walked.cbegin();
            QVERIFY2(at > last && at < walked.size(),
                     qPrintable(name + " out of order in: " + walked.join(' ')));
            last = at;
        }
    }

    void qtOptionsAreLeftToQt()
    {
        const CommandLine line = CommandLine::parse(
            {"pantrix", "-platform", "offscreen", "--style=Fusion", "-reverse", "--desktop"});
        QCOMPARE(line.action(), CommandLine::Action::Run);
        QVERIFY(line.desktopStart());
        // Files are named from the starting folder, which --desktop leaves.
        const CommandLine files = CommandLine::parse({"pantrix", "hall.esv", "/tmp/x.hsv"});
        QCOMPARE(files.action(), CommandLine::Action::Run);
        QCOMPARE(files.files(), (QStringList{QDir::current().absoluteFilePath("hall.esv"),
                                             "/tmp/x.hsv"}));
    }

    void desktopStartWorksInItsOwnFolder()
    {
        QTemporaryDir home;
        QProcess program;
        program.setWorkingDirectory(home.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PANTRIX_EXECUTABLE), {"--desktop"});
        QVERIFY(program.waitForStarted());
        const QString folder = home.filePath("data/pantrix");
        const QString cwd = QStringLiteral("/proc/%1/cwd").arg(program.processId());
        QTRY_COMPARE_WITH_TIMEOUT(QFile::symLinkTarget(cwd), folder, 30000);
        QTest::qWait(1500); // the window is up and closes on SIGTERM
        program.terminate();
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(QFile::exists(folder + "/PANTRIX.sav"));
        QVERIFY(!QFile::exists(home.filePath("PANTRIX.sav")));
    }

    void identity()
    {
        DesktopIdentity::apply();
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("pantrix"));
        QCOMPARE(QGuiApplication::desktopFileName(),
                 QStringLiteral("io.github.pantrix.Configurator"));
        const QImage icon = QApplication::windowIcon().pixmap(48, 48).toImage();
        QCOMPARE(icon.size(), QSize(48, 48));
        QVERIFY(icon.pixelColor(24, 24).alpha() > 0); // drawn, not an empty picture
    }

    void workingFolderSeeding_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QStringList>("fromShipped");
        QTest::newRow("first start: every file") << "" << WorkingFolder::seededFiles();
        QTest::newRow("a file of the user stays")
            << "Default.esv" << QStringList{"Language.mlf", "Default.hsv"};
    }
    void workingFolderSeeding()
    {
        QFETCH(QString, existing);
        QFETCH(QStringList, fromShipped);
        QTemporaryDir shipped, home;
        for (const QString &name : WorkingFolder::seededFiles()) {
            QFile f(shipped.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("shipped " + name.toLatin1());
        }
        const QString folder = home.filePath("a/b/pantrix");
        if (!existing.isEmpty()) {
            QVERIFY(QDir().mkpath(folder));
            QFile f(folder + "/" + existing);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("mine");
        }
        const QString previous = QDir::currentPath();
        QCOMPARE(WorkingFolder::enter(folder, shipped.path()), QString());
        QCOMPARE(QDir::currentPath(), QFileInfo(folder).canonicalFilePath());
        QDir::setCurrent(previous);
        for (const QString &name : WorkingFolder::seededFiles()) {
            const QByteArray expected =
                fromShipped.contains(name) ? "shipped " + name.toLatin1() : QByteArray("mine");
            QCOMPARE(contents(folder + "/" + name), expected);
            QVERIFY(QFileInfo(folder + "/" + name).isWritable());
        }
    }

    void workingFolderThatCannotBeMade()
    {
        QTemporaryDir home;
        QFile blocker(home.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString previous = QDir::currentPath();
        QCOMPARE(WorkingFolder::enter(home.filePath("file/pantrix"), home.path()),
                 "Cannot create the folder " + home.filePath("file/pantrix") + ".");
        QCOMPARE(QDir::currentPath(), previous);
    }

    // The shipped default files hold what the window shows without them. Where
    // the window starts with no choice made (its record has a byte below "0"
    // there), the shipped settings choose the first item, as the display does.
    void shippedDefaultsAreTheWindowsOwn()
    {
        const QByteArray shippedSettings = contents(sourceFile("data/Default.esv"));
        FormFixture f;
        f.show();
        f.dialogs.fileAnswers = {f.path("s.esv"), f.path("b.hsv")};
        f.form->Button3Click();
        f.form->Button1Click();
        QCOMPARE(f.readFile("b.hsv"), contents(sourceFile("data/Default.hsv")));
        const QByteArray own = f.readFile("s.esv");
        QCOMPARE(own.size(), shippedSettings.size());
        for (int i = 0; i < own.size(); ++i)
            if (own.at(i) >= '0' || own.at(i) < ' ')
                QCOMPARE(shippedSettings.at(i), own.at(i));
            else
                QCOMPARE(shippedSettings.at(i), '0');
        // The shipped record is one the window shows completely: it comes back whole.
        FormFixture again;
        again.writeFile("Default.esv", shippedSettings);
        again.show();
        again.dialogs.fileAnswers = {again.path("s.esv")};
        again.form->Button3Click();
        QCOMPARE(again.readFile("s.esv"), shippedSettings);
    }

    void openFailureReason_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("reasonParts");
        QTest::newRow("permission denied")
            << "/proc/sys/kernel/osrelease"
            << QStringList{"COM3: /proc/sys/kernel/osrelease (environment variable PANTRIX_COM3)",
                           "(Error 13, Permission denied)",
                           "Your user may not open /proc/sys/kernel/osrelease"};
        QTest::newRow("not found") << "/dev/ttyPANTRIX99"
                                   << QStringList{"Specified device not found (/dev/ttyPANTRIX99).",
                                                  "There is no device /dev/ttyPANTRIX99. Check "
                                                  "that the adapter is plugged in"};
        QTest::newRow("busy") << "pty"
                              << QStringList{"(Error 16, Device or resource busy)",
                                             " is held by tst_desktop (pid "};
        QTest::newRow("connection refused")
            << "refused"
            << QStringList{"(Error 111, Connection refused)",
                           "Nothing accepts connections at rfc2217://127.0.0.1:"};
    }
    void openFailureReason()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, reasonParts);
        PtyPair pty;
        int holder = -1;
        if (target == "pty") {
            QVERIFY(pty.isValid());
            target = pty.slavePath();
            holder = ::open(QFile::encodeName(target).constData(), O_RDWR | O_NOCTTY);
            QVERIFY(holder >= 0);
            QCOMPARE(::flock(holder, LOCK_EX | LOCK_NB), 0);
        } else if (target == "refused") {
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress::LocalHost, 0));
            target = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort());
        }
        qputenv("PANTRIX_COM3", target.toLocal8Bit());
        FormFixture f;
        f.show();
        f.ui().ComboBox2->chooseAsUser(2);
        QTest::mouseClick(f.ui().Button9, Qt::LeftButton);
        qunsetenv("PANTRIX_COM3");
        if (holder >= 0)
            ::close(holder);
        QCOMPARE(f.form->statusText(),
                 f.germanMessage(MessageRow::CannotOpenPort) + QString(10, u' '));
        const QString reason = f.ui().StatusBar1->toolTip();
        for (const QString &part : reasonParts)
            QVERIFY2(reason.contains(part), qPrintable(reason));
        QCOMPARE(f.ui().StatusBar1->accessibleDescription(), reason);
        // The detail line shows it in sight; the next connect clears it.
        QCOMPARE(f.form->detailText(), reason);
        // The next status text takes the reason away.
        f.form->showStatus(QString(36, u' '));
        QCOMPARE(f.ui().StatusBar1->toolTip(), QString());
    }

    // "Use as COM n" on the device list: the ports file gets the device's
    // stable name and keeps what it held; a file that cannot be written says why.
    void useDeviceAsComPort_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("environment"); // PANTRIX_COM3
        QTest::newRow("ports file with a comment") << true << "";
        QTest::newRow("its folder cannot be made") << false << "";
        QTest::newRow("a variable overrides the file") << true << "/dev/ttyS7";
    }
    void useDeviceAsComPort()
    {
        QFETCH(bool, writable);
        QFETCH(QString, environment);
        QTemporaryDir dir;
        const QString file = dir.filePath(writable ? "ports" : "blocker/ports");
        QFile seed(writable ? file : dir.filePath("blocker"));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write(writable ? "# workshop\nCOM1=/dev/ttyS0\n" : "");
        seed.close();
        qputenv("PANTRIX_PORTS_FILE", QFile::encodeName(file));
        qputenv("PANTRIX_COM3", environment.toLocal8Bit());
        FormFixture f;
        f.show();
        const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A9X-if00-port0";
        f.form->portsPanel()->setSource([byId] {
            SerialDevices::Device acm{"/dev/ttyACM0", {}, "cdc_acm"};
            SerialDevices::Device ftdi{"/dev/ttyUSB0", byId, "ftdi_sio", "0403", "6001", "FTDI",
                                       "FT232R USB UART", "A9X"};
            return QList<SerialDevices::Device>{acm, ftdi};
        });
        f.ui().ComboBox2->chooseAsUser(2);
        f.form->portsPanel()->select(1);
        auto *useAs = f.form->portsPanel()->findChild<QPushButton *>("PortsPanelUseAs");
        QCOMPARE(useAs->text(), QStringLiteral("Use as COM 3"));
        QTest::mouseClick(useAs, Qt::LeftButton);
        const QString target = f.form->portTargetText();
        qunsetenv("PANTRIX_PORTS_FILE");
        qunsetenv("PANTRIX_COM3");
        if (!environment.isEmpty()) {
            // Written, but the user is told that the variable still decides.
            QVERIFY(contents(file).endsWith("COM3=" + byId.toUtf8() + "\n"));
            QCOMPARE(f.ui().DetailLine1->kind(), DetailLine::Kind::Failure);
            QVERIFY2(f.form->detailText().contains("PANTRIX_COM3 still makes it reach /dev/ttyS7"),
                     qPrintable(f.form->detailText()));
        } else if (writable) {
            QCOMPARE(contents(file), "# workshop\nCOM1=/dev/ttyS0\nCOM3=" + byId.toUtf8() + "\n");
            QVERIFY2(f.form->detailText().startsWith("COM 3 now reaches " + byId),
                     qPrintable(f.form->detailText()));
            QVERIFY2(target.startsWith("COM3: " + byId + " (ports file"), qPrintable(target));
            QVERIFY(f.dialogs.warnings.isEmpty());
        } else {
            QCOMPARE(f.dialogs.warnings.size(), 1);
            QCOMPARE(f.form->detailText(), f.dialogs.warnings.constFirst());
            QVERIFY(!QFile::exists(file));
        }
    }

    void permissionHint_data()
    {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("inSession");
        QTest::addColumn<QString>("hint");
        QTest::newRow("not in the group")
            << false << false
            << "Only members of the group 'dialout' may use /dev/ttyUSB0. Add your user to it: "
               "sudo adduser anna dialout, then log out and in again.";
        QTest::newRow("added since the login")
            << true << false
            << "Your user is in the group 'dialout' that may use /dev/ttyUSB0, but this session "
               "started before it was added: log out and in again.";
    }
    void permissionHint()
    {
        QFETCH(bool, listed);
        QFETCH(bool, inSession);
        QFETCH(QString, hint);
        PortOpenDiagnosis::DeviceAccess access{"dialout", "anna", inSession, listed};
        QCOMPARE(PortOpenDiagnosis::permissionHint("/dev/ttyUSB0", access), hint);
    }

    void statusLineIsAStatusBar()
    {
        FormFixture f;
        f.show();
        f.form->showStatus(QStringLiteral("Gerät verbunden          "));
        QAccessibleInterface *status = QAccessible::queryAccessibleInterface(f.ui().StatusBar1);
        QVERIFY(status);
        QCOMPARE(status->role(), QAccessible::StatusBar);
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Gerät verbunden"));
    }

    void fieldIsNamedByItsLabel_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("name");
        QTest::newRow("user string") << "Edit1"
                                     << "String:";
        QTest::newRow("first brightness value") << "MaskEdit18"
                                                << "Wert 1";
        QTest::newRow("last brightness value") << "MaskEdit17"
                                               << "Wert 16";
        QTest::newRow("address, in its frame") << "MaskEdit1"
                                               << "Geräteadresse";
        QTest::newRow("timeout, in its frame") << "MaskEdit19"
                                               << "Timeout nach xx Sekunden";
    }
    void fieldIsNamedByItsLabel()
    {
        QFETCH(QString, field);
        QFETCH(QString, name);
        FormFixture f;
        f.show();
        auto *edit = f.form->findChild<QLineEdit *>(field);
        QVERIFY(edit);
        QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name), name);
    }

    void everyFieldHasAName()
    {
        FormFixture f;
        f.show();
        const QList<QLineEdit *> fields = f.form->findChildren<QLineEdit *>();
        QVERIFY(fields.size() >= 20);
        for (QLineEdit *field : fields) {
            if (qobject_cast<QComboBox *>(field->parentWidget()))
                continue; // a combo box's editor carries the combo box's name
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(field);
            QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(field->objectName()));
        }
    }

    void hiddenTabIsNotOffered()
    {
        FormFixture f;
        f.show();
        QTabBar *bar = f.ui().PageControl1->tabBar();
        QAccessibleInterface *tabs = QAccessible::queryAccessibleInterface(bar);
        QStringList offered;
        for (int i = 0; i < tabs->childCount(); ++i)
            if (tabs->child(i)->role() == QAccessible::PageTab)
                offered << tabs->child(i)->text(QAccessible::Name);
        QCOMPARE(offered,
                 (QStringList{"Sprache", "COM-Port", "Einstellungen", "User string", "Info"}));
        // Even asked for by index, the hidden page does not come up.
        bar->setCurrentIndex(f.ui().PageControl1->indexOf(f.ui().TabSheet3));
        QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet1);
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
