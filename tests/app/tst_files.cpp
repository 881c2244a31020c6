#include "Exception.h"
#include "FormFixture.h"

#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// The brightness record and its value check, and the settings and brightness
// files: save, load, the default files and their error texts.
class TestFiles : public QObject
{
    Q_OBJECT

    static const QByteArray ExampleSettings;

    template <std::size_t N> static QByteArray bytes(const std::array<std::uint8_t, N> &r)
    {
        return QByteArray(reinterpret_cast<const char *>(r.data()), qsizetype(N));
    }

    // Shows the brightness page so its fields can take the focus.
    static void openBrightnessPage(FormFixture &f)
    {
        TForm1 &form = *f.form;
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        f.ui().PageControl1->setPageTabVisible(f.ui().TabSheet3, true);
        f.ui().TabSheet3->setEnabled(true);
        f.ui().PageControl1->setActivePage(f.ui().TabSheet3);
    }

private slots:
    void layoutBrightnessAssembles()
    {
        FormFixture f;
        TForm1 &form = f.show();
        form.BrightnessTelegramFromControls();
        QCOMPARE(bytes(form.brightnessTelegram()).toHex(' ').toUpper(),
                 QByteArray("1B 48 54 01 06 08 0C 10 16 27 32 46 5A 6E A0 BE C8 D2 F0 0D 0A"));
    }

    void brightnessRecordToFieldsAndBack()
    {
        FormFixture f;
        TForm1 &form = f.show();
        QByteArray record = QByteArray::fromHex("1B4854"
                                                "00070A2A63646465C7C8FEFF01020304"
                                                "0D0A");
        std::copy(record.begin(), record.end(), form.brightnessTelegram().begin());
        form.BrightnessTelegramToControls();
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("000"));
        QCOMPARE(f.ui().MaskEdit3->text(), QStringLiteral("007"));
        QCOMPARE(f.ui().MaskEdit5->text(), QStringLiteral("042"));
        QCOMPARE(f.ui().MaskEdit6->text(), QStringLiteral("099"));
        QCOMPARE(f.ui().MaskEdit13->text(), QStringLiteral("255"));
        QVERIFY(f.dialogs.warnings.isEmpty()); // setting texts runs no check
        form.brightnessTelegram().fill(0xEE);
        form.BrightnessTelegramFromControls();
        QCOMPARE(bytes(form.brightnessTelegram()), record);
    }

    void brightnessFieldThatIsNoNumber()
    {
        FormFixture f;
        TForm1 &form = f.show();
        f.ui().MaskEdit5->setText("");
        form.brightnessTelegram().fill(0xEE);
        try {
            form.BrightnessTelegramFromControls();
            QFAIL("assembled a field that holds no number");
        } catch (const EConvertError &e) {
            QCOMPARE(e.message(), QStringLiteral("'' is not a valid integer value"));
        }
        // Header and values 1 to 3 were written, nothing after them.
        QCOMPARE(bytes(form.brightnessTelegram()).left(6).toHex(), QByteArray("1b4854010608"));
        QCOMPARE(form.brightnessTelegram()[6], std::uint8_t(0xEE));
        // Saving it writes no file at all.
        f.ui().TabSheet3->setEnabled(true);
        f.dialogs.fileAnswers << f.path("table.hsv");
        QTest::mouseClick(f.ui().Button1, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|'' is not a valid integer value."});
        QVERIFY(!QFile::exists(f.path("table.hsv")));
    }

    void brightnessCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("passes");
        QTest::newRow("255") << "255" << true;
        QTest::newRow("001") << "001" << true;
        QTest::newRow("128") << "128" << true;
        QTest::newRow("256") << "256" << false;
        QTest::newRow("300") << "300" << false;
        QTest::newRow("000") << "000" << false;
        QTest::newRow("999") << "999" << false;
    }
    void brightnessCheck()
    {
        QFETCH(QString, text);
        QFETCH(bool, passes);
        FormFixture f;
        f.show();
        openBrightnessPage(f);
        MaskEdit *field = f.ui().MaskEdit4;
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        field->setText(text);
        f.ui().MaskEdit5->setFocus(Qt::TabFocusReason);
        QTest::qWait(20);
        if (passes) {
            QVERIFY(f.dialogs.warnings.isEmpty());
            QVERIFY(f.ui().MaskEdit5->hasFocus());
        } else {
            QCOMPARE(f.dialogs.warnings, QStringList{"Wert muss zwischen 001 und 255 liegen!"});
            QTRY_VERIFY(field->hasFocus());
            QCOMPARE(field->text(), text); // the bad text stays
        }
    }

    void zeroFromARecordWarnsWhenLeft()
    {
        FormFixture f;
        f.writeFile("Default.hsv", QByteArray::fromHex("1B4854"
                                                       "00060808080808080808080808080808"
                                                       "0D0A"));
        f.show();
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("000"));
        openBrightnessPage(f);
        f.ui().MaskEdit18->setFocus();
        QTRY_VERIFY(f.ui().MaskEdit18->hasFocus());
        f.ui().MaskEdit3->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(f.dialogs.warnings.size(), 1);
        QTRY_VERIFY(f.ui().MaskEdit18->hasFocus());
        // Leaving again with the same bad text reports it again.
        f.ui().MaskEdit3->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(f.dialogs.warnings.size(), 2);
    }

    void settingsRoundTripAndOverwriteQuestion()
    {
        FormFixture f;
        TForm1 &form = f.show();
        std::copy(ExampleSettings.begin(), ExampleSettings.end(), form.settingsTelegram().begin());
        form.SettingsTelegramToControls();
        f.dialogs.fileAnswers << f.path("a.esv");
        QTest::mouseClick(f.ui().Button3, Qt::LeftButton);
        QCOMPARE(f.readFile("a.esv"), ExampleSettings);
        QCOMPARE(f.dialogs.fileRequests.last().dialog, QStringLiteral("SaveDialog1"));
        QVERIFY(f.dialogs.fileRequests.last().overwritePrompt);
        QCOMPARE(f.dialogs.fileRequests.last().defaultSuffix, QStringLiteral("esv"));
        QCOMPARE(f.dialogs.fileRequests.last().filter,
                 QStringLiteral("Einstellungen (*.esv)|*.esv"));

        FormFixture g;
        g.show();
        g.dialogs.fileAnswers << f.path("a.esv");
        QTest::mouseClick(g.ui().Button4, Qt::LeftButton);
        QCOMPARE(g.dialogs.fileRequests.last().dialog, QStringLiteral("OpenDialog1"));
        g.form->SettingsTelegramFromControls();
        QCOMPARE(bytes(g.form->settingsTelegram()), ExampleSettings);
        QCOMPARE(g.ui().RadioGroup2->itemIndex(), 3);
    }

    void brightnessRoundTripWithoutOverwriteQuestion()
    {
        FormFixture f;
        f.show();
        f.ui().TabSheet3->setEnabled(true);
        f.ui().MaskEdit17->setText("255");
        f.dialogs.fileAnswers << f.path("b.hsv");
        f.writeFile("b.hsv", QByteArray(100, 'x'));
        QTest::mouseClick(f.ui().Button1, Qt::LeftButton);
        QVERIFY(!f.dialogs.fileRequests.last().overwritePrompt);
        QCOMPARE(f.dialogs.fileRequests.last().dialog, QStringLiteral("SaveDialog2"));
        const QByteArray saved = f.readFile("b.hsv");
        QCOMPARE(saved.size(), 21);
        QCOMPARE(quint8(saved[18]), quint8(255));
        f.ui().MaskEdit17->setText("100");
        f.dialogs.fileAnswers << f.path("b.hsv");
        QTest::mouseClick(f.ui().Button2, Qt::LeftButton);
        QCOMPARE(f.ui().MaskEdit17->text(), QStringLiteral("255"));
    }

    void cancelledDialogsChangeNothing()
    {
        FormFixture f;
        f.show();
        f.ui().TabSheet3->setEnabled(true);
        for (QPushButton *b : {f.ui().Button3, f.ui().Button4, f.ui().Button1, f.ui().Button2})
            QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(f.dialogs.fileRequests.size(), 4);
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(QDir(f.path(".")).entryList(QDir::Files).size(), 0);
    }

    void loadingSettingsFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("baudIndex");
        QTest::newRow("29 bytes") << ExampleSettings.left(29)
                                  << "PANTRIX_V20|Read beyond end of file." << 0;
        QTest::newRow("31 bytes") << ExampleSettings + "!" << QString() << 3;
        QByteArray otherHeader = ExampleSettings;
        otherHeader.replace(0, 3, "abc");
        QTest::newRow("other header") << otherHeader << QString() << 3;
        QTest::newRow("empty") << QByteArray() << "PANTRIX_V20|Read beyond end of file." << 0;
        QByteArray zeroDigit = ExampleSettings;
        zeroDigit[6] = '\0';
        QTest::newRow("zero byte as the baud digit")
            << zeroDigit << "PANTRIX_V20|'\u2400' is not a valid integer value." << 0;
    }
    void loadingSettingsFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, error);
        QFETCH(int, baudIndex);
        FormFixture f;
        f.show();
        f.writeFile("x.esv", content);
        f.dialogs.fileAnswers << f.path("x.esv");
        QTest::mouseClick(f.ui().Button4, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), baudIndex);
    }

    void fileErrors_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<bool>("save");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing file") << "none.esv" << false << "File not found.";
        QTest::newRow("missing folder, load") << "no/such.esv" << false << "Invalid filename.";
        QTest::newRow("missing folder, save") << "no/such.esv" << true << "Invalid filename.";
    }
    void fileErrors()
    {
        QFETCH(QString, relativePath);
        QFETCH(bool, save);
        QFETCH(QString, error);
        FormFixture f;
        f.show();
        f.dialogs.fileAnswers << f.path(relativePath);
        QTest::mouseClick(save ? f.ui().Button3 : f.ui().Button4, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|" + error});
    }

    void loadingWhatIsNoFile_data()
    {
        QTest::addColumn<QString>("kind");
#ifdef Q_OS_WIN
        QTest::newRow("device name") << "device";
#else
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to /dev/zero") << "zero";
#endif
        QTest::newRow("folder") << "folder";
    }
    void loadingWhatIsNoFile()
    {
        QFETCH(QString, kind);
        FormFixture f;
        f.show();
        QString path = f.path("x.esv");
#ifdef Q_OS_WIN
        if (kind == "device")
            path = QStringLiteral("NUL");
#else
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", path));
#endif
        else
            QVERIFY(QDir().mkdir(path));
        f.dialogs.fileAnswers << path;
        QTest::mouseClick(f.ui().Button4, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|File access denied."});
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), 0);
    }

#ifndef Q_OS_WIN // symbolic links and FIFOs
    void savingKeepsALinkAndRefusesNoFile()
    {
        FormFixture f;
        f.show();
        f.writeFile("real.esv", "old");
        QVERIFY(QFile::link("real.esv", f.path("link.esv")));
        QCOMPARE(::mkfifo(QFile::encodeName(f.path("fifo.esv")).constData(), 0600), 0);
        f.dialogs.fileAnswers << f.path("link.esv") << f.path("fifo.esv");
        QTest::mouseClick(f.ui().Button3, Qt::LeftButton);
        QVERIFY(f.dialogs.errors.isEmpty());
        QVERIFY(QFileInfo(f.path("link.esv")).isSymLink());
        QCOMPARE(f.readFile("real.esv").size(), 30);
        QTest::mouseClick(f.ui().Button3, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|File access denied."});
        QVERIFY(!QFileInfo(f.path("fifo.esv")).isFile());
    }
#endif

    void savingWhereWritingIsRefused()
    {
        FormFixture f;
        f.show();
#ifdef Q_OS_WIN
        // A read-only file is kept as it is.
        f.writeFile("refused.esv", "old");
        QVERIFY(SetFileAttributesW(reinterpret_cast<const wchar_t *>(
                                       QDir::toNativeSeparators(f.path("refused.esv")).utf16()),
                                   FILE_ATTRIBUTE_READONLY));
        const QString target = f.path("refused.esv");
#else
        QString target = "/sys/refused.esv"; // refused even to the superuser
        if (::geteuid() != 0) {
            QDir().mkdir(f.path("locked"));
            QFile::setPermissions(f.path("locked"), QFile::ReadOwner | QFile::ExeOwner);
            target = f.path("locked/refused.esv");
        }
#endif
        f.dialogs.fileAnswers << target;
        QTest::mouseClick(f.ui().Button3, Qt::LeftButton);
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|File access denied."});
#ifdef Q_OS_WIN
        QCOMPARE(f.readFile("refused.esv"), QByteArray("old"));
        SetFileAttributesW(
            reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(target).utf16()),
            FILE_ATTRIBUTE_NORMAL);
#endif
    }

    void readOnlySettingsFileLoads()
    {
        FormFixture f;
        f.show();
        f.writeFile("ro.esv", ExampleSettings);
        QFile::setPermissions(f.path("ro.esv"), QFile::ReadOwner);
        f.dialogs.fileAnswers << f.path("ro.esv");
        QTest::mouseClick(f.ui().Button4, Qt::LeftButton);
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), 3);
    }

    void defaultFiles()
    {
        FormFixture f;
        f.writeFile("Default.esv", ExampleSettings);
        f.writeFile("Default.hsv", QByteArray::fromHex("1B4854"
                                                       "0A0B0C0D0E0F10111213141516171819"
                                                       "0D0A"));
        TForm1 &form = f.show();
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(f.ui().RadioGroup1->itemIndex(), 1);
        QCOMPARE(f.ui().MaskEdit1->text(), QStringLiteral("012"));
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("010"));
        QCOMPARE(f.ui().MaskEdit17->text(), QStringLiteral("025"));
        QVERIFY(!f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
        form.SettingsTelegramFromControls();
        QCOMPARE(bytes(form.settingsTelegram()), ExampleSettings);
    }

    // `pantrix FILE...`: each file loads after the start-up as its load button
    // would; the extension, else the first bytes, tell which record it is.
    void filesFromTheCommandLine_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<QString>("brightness");
        const QStringList none;
        QTest::newRow("settings") << QStringList{"hall.esv"} << none << 3 << "001";
        QTest::newRow("brightness") << QStringList{"room.HSV"} << none << 0 << "010";
        QTest::newRow("both, known by their bytes")
            << QStringList{"hall.bak", "room"} << none << 3 << "010";
        QTest::newRow("missing file, then one that loads")
            << QStringList{"none.esv", "hall.esv"} << QStringList{"PANTRIX_V20|File not found."}
            << 3 << "001";
        QTest::newRow("neither record")
            << QStringList{"notes.txt"}
            << QStringList{"PANTRIX_V20|%1 is neither a settings file (.esv) nor a "
                           "brightness file (.hsv)."}
            << 0 << "001";
    }
    void filesFromTheCommandLine()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, errors);
        QFETCH(int, baudIndex);
        QFETCH(QString, brightness);
        FormFixture f;
        const QByteArray brightnessRecord =
            QByteArray::fromHex("1B4854"
                                "0A0B0C0D0E0F10111213141516171819"
                                "0D0A");
        for (const QString name : {"hall.esv", "hall.bak"})
            f.writeFile(name, ExampleSettings);
        for (const QString name : {"room.HSV", "room"})
            f.writeFile(name, brightnessRecord);
        f.writeFile("notes.txt", "\x1bX not a record");
        QStringList paths;
        for (const QString &file : files)
            paths << f.path(file);
        f.create().setFilesToOpen(paths);
        f.show();
        for (QString &error : errors)
            error = error.arg(QDir::toNativeSeparators(f.path("notes.txt")));
        QCOMPARE(f.dialogs.errors, errors);
        QCOMPARE(f.ui().RadioGroup2->itemIndex(), baudIndex);
        QCOMPARE(f.ui().MaskEdit18->text(), brightness);
        if (baudIndex != 0)
            QCOMPARE(f.ui().PageControl1->activePage(), f.ui().TabSheet2);
    }

    void badDefaultFileStopsStartUp()
    {
        FormFixture f;
        f.writeFile("Default.esv", ExampleSettings.left(10));
        f.writeFile("Default.hsv", QByteArray::fromHex("1B4854"
                                                       "0A0B0C0D0E0F10111213141516171819"
                                                       "0D0A"));
        f.show();
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|Read beyond end of file."});
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("001")); // Default.hsv not read
        QVERIFY(f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
    }
};

const QByteArray TestFiles::ExampleSettings = QByteArray::fromHex("1B5A4553314233433050"
                                                                  "4F413031325630334B32"
                                                                  "4E30444154313031"
                                                                  "0D0A");

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
