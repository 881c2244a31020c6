#include "FormFixture.h"

#include <QTest>

// The settings record against the real controls of page "Einstellungen".
class TestSettingsPage : public QObject
{
    Q_OBJECT

    static SettingsTelegram::Bytes record(const QByteArray &hex)
    {
        const QByteArray raw = QByteArray::fromHex(hex);
        SettingsTelegram::Bytes b{};
        std::copy(raw.begin(), raw.begin() + 30, b.begin());
        return b;
    }
    static QByteArray hex(const SettingsTelegram::Bytes &b)
    {
        return QByteArray(reinterpret_cast<const char *>(b.data()), 30).toHex().toUpper();
    }
    // Writes `hex` as "Default.esv" and starts the window, which spreads it.
    static void startWith(FormFixture &f, const QByteArray &hexRecord)
    {
        f.writeFile("Default.esv", QByteArray::fromHex(hexRecord));
        f.show();
    }

private slots:
    void workedExampleFromTheControls()
    {
        FormFixture f;
        TForm1 &form = f.show();
        auto &ui = f.ui();
        ui.RadioGroup1->setItemIndex(1);
        ui.RadioGroup2->setItemIndex(3);
        ui.RadioGroup3->setItemIndex(0);
        ui.RadioGroup4->setItemIndex(3);
        ui.RadioGroup7->setItemIndex(2);
        ui.MaskEdit1->setText("012");
        ui.MaskEdit2->setText("03");
        ui.RadioGroup5->setItemIndex(2);
        ui.RadioGroup6->setItemIndex(0);
        ui.ComboBox1->setItemIndex(5);
        ui.MaskEdit19->setText("10");
        ui.RadioButton2->setChecked(true);
        form.SettingsTelegramFromControls();
        QCOMPARE(hex(form.settingsTelegram()), QByteArray("1B5A4553314233433050"
                                                          "4F413031325630334B32"
                                                          "4E30444154313031"
                                                          "0D0A"));
    }

    void layoutAssemblesUnselectedGroupsBelowZero()
    {
        FormFixture f;
        TForm1 &form = f.show();
        form.SettingsTelegramFromControls();
        // No language file: "Sonderfunktionen", "Kommaposition" and the
        // negative-value choice have no item selected.
        QCOMPARE(hex(form.settingsTelegram()), QByteArray("1B5A4553304230433050"
                                                          "22413030315630304B2F"
                                                          "4E2F444654303030"
                                                          "0D0A"));
    }

    void protocolZomaDisablesAndHides()
    {
        FormFixture f;
        TForm1 &form = f.show();
        auto &ui = f.ui();
        QWidget *const ruled[] = {ui.RadioGroup5, ui.RadioGroup6, ui.ComboBox1, ui.MaskEdit1,
                                  ui.MaskEdit2};
        auto r = record("1B5A4553304230433050"
                        "36413132335630314B31"
                        "4E31443754303530"
                        "0D0A");
        form.settingsTelegram() = r;
        form.SettingsTelegramToControls();
        QCOMPARE(ui.RadioGroup4->itemIndex(), 6);
        for (QWidget *w : ruled)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(ui.GroupBox5->isHidden());
        QVERIFY(ui.GroupBox6->isHidden());
        // The values stay in the disabled controls and are still sent.
        QCOMPARE(ui.MaskEdit1->text(), QStringLiteral("123"));
        form.SettingsTelegramFromControls();
        QCOMPARE(hex(form.settingsTelegram()), hex(r));

        r[10] = '2';
        form.settingsTelegram() = r;
        form.SettingsTelegramToControls();
        for (QWidget *w : ruled)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!ui.GroupBox5->isHidden());
        QVERIFY(!ui.GroupBox6->isHidden());
        QVERIFY(ui.RadioGroup1->isEnabled());
        QVERIFY(ui.MaskEdit19->isEnabled());
    }

    void userChoosingZomaRunsTheRule()
    {
        FormFixture f;
        TForm1 &form = f.show();
        QTest::mouseClick(f.ui().RadioGroup4->button(6), Qt::LeftButton);
        QCOMPARE(f.ui().RadioGroup4->itemIndex(), 6);
        QVERIFY(f.ui().GroupBox5->isHidden());
        QTest::mouseClick(f.ui().RadioGroup4->button(7), Qt::LeftButton);
        QVERIFY(!f.ui().GroupBox5->isHidden());
    }

    void spreadingStopsAtANonDigit()
    {
        FormFixture f;
        // Offset 19 holds "/" (from an unselected group), offset 4 selects RS 232.
        startWith(f, "1B5A4553314234433250"
                     "33413435365630374B2F"
                     "4E31443754303530"
                     "0D0A");
        auto &ui = f.ui();
        QCOMPARE(f.dialogs.errors, QStringList{"PANTRIX_V20|'/' is not a valid integer value."});
        QCOMPARE(ui.RadioGroup1->itemIndex(), 1);
        QCOMPARE(ui.RadioGroup2->itemIndex(), 4);
        QCOMPARE(ui.RadioGroup3->itemIndex(), 2);
        QCOMPARE(ui.RadioGroup4->itemIndex(), 3);
        QCOMPARE(ui.MaskEdit1->text(), QStringLiteral("456"));
        QCOMPARE(ui.MaskEdit2->text(), QStringLiteral("07"));
        // Not reached: the rest keeps the layout values, start-up ended there.
        QCOMPARE(ui.RadioGroup6->itemIndex(), -1);
        QCOMPARE(ui.MaskEdit19->text(), QStringLiteral("00"));
        QVERIFY(ui.PageControl1->isPageTabVisible(ui.TabSheet3));
    }

    void spreadingClampsAndKeeps_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<int>("interface");
        QTest::addColumn<int>("special");
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("dimming");
        QTest::addColumn<QString>("address");
        QTest::newRow("interface 7 clamps, h clamps") << QByteArray("1B5A4553374230433050"
                                                                    "68413132335630314B31"
                                                                    "4E31443754303530"
                                                                    "0D0A")
                                                      << 1 << 3 << 13 << 8 << "123";
        QTest::newRow("interface below 0, packed below 0x30") << QByteArray("1B5A4553204230433050"
                                                                            "2A413132335630314B31"
                                                                            "4E31443554303530"
                                                                            "0D0A")
                                                              << -1 << 0 << -1 << 10 << "123";
        QTest::newRow("dimming G keeps item 0, address cut by zero byte")
            << QByteArray("1B5A4553304230433050"
                          "3E413400335630314B31"
                          "4E31444754303530"
                          "0D0A")
            << 0 << 1 << 0 << 0 << "4";
    }
    void spreadingClampsAndKeeps()
    {
        QFETCH(QByteArray, hex);
        QFETCH(int, interface);
        QFETCH(int, special);
        QFETCH(int, protocol);
        QFETCH(int, dimming);
        QFETCH(QString, address);
        FormFixture f;
        startWith(f, hex);
        auto &ui = f.ui();
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(ui.RadioGroup1->itemIndex(), interface);
        QCOMPARE(ui.RadioGroup7->itemIndex(), special);
        QCOMPARE(ui.RadioGroup4->itemIndex(), protocol);
        QCOMPARE(ui.ComboBox1->itemIndex(), dimming);
        QCOMPARE(ui.MaskEdit1->text(), address);
    }

    void blankFlag_data()
    {
        QTest::addColumn<bool>("blankBefore");
        QTest::addColumn<char>("byte");
        QTest::addColumn<bool>("blankAfter");
        QTest::addColumn<bool>("partnerAfter");
        QTest::newRow("1 checks Blank") << false << '1' << true << false;
        QTest::newRow("0 after Blank leaves neither") << true << '0' << false << false;
        QTest::newRow("0 keeps partner") << false << '0' << false << true;
        QTest::newRow("x after Blank leaves neither") << true << 'x' << false << false;
    }
    void blankFlag()
    {
        QFETCH(bool, blankBefore);
        QFETCH(char, byte);
        QFETCH(bool, blankAfter);
        QFETCH(bool, partnerAfter);
        FormFixture f;
        TForm1 &form = f.show();
        if (blankBefore)
            f.ui().RadioButton2->setChecked(true);
        auto r = record("1B5A4553304230433050"
                        "30413030315630304B30"
                        "4E30444654303030"
                        "0D0A");
        r[27] = std::uint8_t(byte);
        form.settingsTelegram() = r;
        form.SettingsTelegramToControls();
        QCOMPARE(f.ui().RadioButton2->isChecked(), blankAfter);
        QCOMPARE(f.ui().RadioButton1->isChecked(), partnerAfter);
    }

    void spreadThenAssembleReproducesTheRecord_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("example") << QByteArray("1B5A4553314233433050"
                                               "4F413031325630334B32"
                                               "4E30444154313031"
                                               "0D0A");
        QTest::newRow("last items") << QByteArray("1B5A4553314234433550"
                                                  "67413939395639394B35"
                                                  "4E31445A54393931"
                                                  "0D0A");
        QTest::newRow("zoma") << QByteArray("1B5A4553304230433250"
                                            "36413132335630314B30"
                                            "4E31443754303530"
                                            "0D0A");
    }
    void spreadThenAssembleReproducesTheRecord()
    {
        QFETCH(QByteArray, hex);
        FormFixture f;
        startWith(f, hex);
        f.form->SettingsTelegramFromControls();
        QCOMPARE(this->hex(f.form->settingsTelegram()), hex.toUpper());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
