#include "FormFixture.h"
#include "LanguageFileWriter.h"

#include <QImage>
#include <QTest>

// The window with a language file: the language choice, every mapped text,
// messages from the chosen column, and the pictures the file names.
class TestLanguage : public QObject
{
    Q_OBJECT

    using Getter = std::function<QString(TForm1 &)>;

    static QString tab(TForm1 &f, QWidget *page)
    {
        return f.ui().PageControl1->tabText(f.ui().PageControl1->indexOf(page));
    }

    // Each mapped row with the control text that must show it.
    static QList<QPair<int, Getter>> mappedTexts()
    {
        QList<QPair<int, Getter>> map{
            {1, [](TForm1 &f) { return tab(f, f.ui().TabSheet5); }},
            {2, [](TForm1 &f) { return tab(f, f.ui().TabSheet1); }},
            {3, [](TForm1 &f) { return tab(f, f.ui().TabSheet2); }},
            {4, [](TForm1 &f) { return tab(f, f.ui().TabSheet3); }},
            {5, [](TForm1 &f) { return tab(f, f.ui().TabSheet4); }},
            {6, [](TForm1 &f) { return f.ui().RadioGroup8->title(); }},
            {7, [](TForm1 &f) { return f.ui().RadioButton3->text(); }},
            {8, [](TForm1 &f) { return f.ui().RadioButton4->text(); }},
            {9, [](TForm1 &f) { return f.ui().CheckBox1->text(); }},
            {10, [](TForm1 &f) { return f.ui().ComboBox2->text(); }},
            {11, [](TForm1 &f) { return f.ui().Button9->text(); }},
            {12, [](TForm1 &f) { return f.ui().Button10->text(); }},
            {13, [](TForm1 &f) { return f.ui().RadioGroup1->title(); }},
            {14, [](TForm1 &f) { return f.ui().RadioGroup2->title(); }},
            {15, [](TForm1 &f) { return f.ui().RadioGroup3->title(); }},
            {16, [](TForm1 &f) { return f.ui().RadioGroup4->title(); }},
            {17, [](TForm1 &f) { return f.ui().GroupBox5->title(); }},
            {18, [](TForm1 &f) { return f.ui().GroupBox6->title(); }},
            {19, [](TForm1 &f) { return f.ui().GroupBox2->title(); }},
            {75, [](TForm1 &f) { return f.ui().RadioButton2->text(); }},
            {20, [](TForm1 &f) { return f.ui().RadioGroup7->title(); }},
            {25, [](TForm1 &f) { return f.ui().RadioGroup5->title(); }},
            {32, [](TForm1 &f) { return f.ui().RadioGroup6->title(); }},
            {52, [](TForm1 &f) { return f.ui().Button3->text(); }},
            {53, [](TForm1 &f) { return f.ui().Button4->text(); }},
            {54, [](TForm1 &f) { return f.ui().Button6->text(); }},
            {55, [](TForm1 &f) { return f.ui().Button11->text(); }},
            {56, [](TForm1 &f) { return f.ui().GroupBox3->title(); }},
            {58, [](TForm1 &f) { return f.ui().Button1->text(); }},
            {59, [](TForm1 &f) { return f.ui().Button2->text(); }},
            {60, [](TForm1 &f) { return f.ui().Button8->text(); }},
            {61, [](TForm1 &f) { return f.ui().Button7->text(); }},
            {80, [](TForm1 &f) { return f.ui().Button12->text(); }},
            {77, [](TForm1 &f) { return f.ui().StaticText1->text(); }},
            {78, [](TForm1 &f) { return f.ui().StaticText2->text(); }},
            {79, [](TForm1 &f) { return f.ui().StaticText3->text(); }},
        };
        for (int i = 0; i < 4; ++i)
            map.append({21 + i, [i](TForm1 &f) { return f.ui().RadioGroup7->items().value(i); }});
        for (int i = 0; i < 6; ++i)
            map.append({26 + i, [i](TForm1 &f) { return f.ui().RadioGroup5->items().value(i); }});
        for (int i = 0; i < 2; ++i)
            map.append({33 + i, [i](TForm1 &f) { return f.ui().RadioGroup6->items().value(i); }});
        for (int i = 0; i < 17; ++i)
            map.append({35 + i, [i](TForm1 &f) { return f.ui().ComboBox1->items().value(i); }});
        return map;
    }

    static void checkColumn(TForm1 &form, int column)
    {
        for (const auto &[row, get] : mappedTexts())
            QCOMPARE(get(form), QStringLiteral("L%1R%2").arg(column).arg(row));
        QCOMPARE(form.ui().ComboBox1->count(), 17);
        for (auto *group : {form.ui().RadioGroup7, form.ui().RadioGroup5, form.ui().RadioGroup6})
            QCOMPARE(group->itemIndex(), 0);
        QCOMPARE(form.ui().ComboBox1->itemIndex(), 0);
        QCOMPARE(form.ui().Label16->text(), QStringLiteral("L%1R57 1").arg(column));
        QCOMPARE(form.ui().Label11->text(), QStringLiteral("L%1R57 11").arg(column));
        QCOMPARE(form.ui().Label15->text(), QStringLiteral("L%1R57 16").arg(column));
        QCOMPARE(form.messageText(68), QStringLiteral("L%1R68").arg(column));
        // Never translated.
        QCOMPARE(tab(form, form.ui().TabSheet6), QStringLiteral("User string"));
        QCOMPARE(form.ui().Button13->text(), QStringLiteral("Esc-C"));
    }

private slots:
    void twoLanguagesAndTheSecondChosen()
    {
        FormFixture f;
        f.writeFile("Language.mlf", LanguageFileWriter().content());
        TForm1 &form = f.show();
        QVERIFY(f.dialogs.errors.isEmpty());
        QCOMPARE(f.ui().RadioGroup8->items(), (QStringList{"L1R0", "L2R0"}));
        QCOMPARE(f.ui().RadioGroup8->height(), 80);
        QCOMPARE(form.languageColumn(), 1);
        checkColumn(form, 1);

        f.ui().ComboBox2->chooseAsUser(4);
        f.ui().RadioGroup7->setItemIndex(3);
        QTest::mouseClick(f.ui().RadioGroup8->button(1), Qt::LeftButton);
        QCOMPARE(form.languageColumn(), 2);
        checkColumn(form, 2);
        QCOMPARE(f.ui().ComboBox2->itemIndex(), 4); // the port stays chosen

        // A later message comes from the second column.
        f.ui().PageControl1->selectTabAsUser(2);
        QCOMPARE(f.dialogs.warnings, QStringList{"L2R68"});
        form.close();
        QVERIFY(f.readFile("PANTRIX.sav").endsWith("\r\n1\r\n"));
    }

    void savedIndex_data()
    {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<int>("index");
        QTest::newRow("first") << "0" << 0;
        QTest::newRow("second") << "1" << 1;
        QTest::newRow("beyond the last") << "7" << 1;
    }
    void savedIndex()
    {
        QFETCH(QString, saved);
        QFETCH(int, index);
        FormFixture f;
        f.writeFile("Language.mlf", LanguageFileWriter().content());
        f.writeFile("PANTRIX.sav", "-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n" + saved.toLatin1() + "\r\n");
        TForm1 &form = f.show();
        QCOMPARE(f.ui().RadioGroup8->itemIndex(), index);
        checkColumn(form, index + 1);
    }

    void noLanguageChosenKeepsTheLayoutTexts()
    {
        FormFixture f;
        f.writeFile("Language.mlf", LanguageFileWriter().content());
        f.writeFile("PANTRIX.sav", "-1\r\nFALSE\r\nTRUE\r\nFALSE\r\n-1\r\n");
        TForm1 &form = f.show();
        QCOMPARE(f.ui().RadioGroup8->itemIndex(), -1);
        QCOMPARE(form.languageColumn(), 0);
        QCOMPARE(f.ui().Button9->text(), QStringLiteral("COM-Port verbinden"));
        QCOMPARE(form.messageText(68), QStringLiteral("Bitte zuerst COM-Port auswählen!"));
        QTest::mouseClick(f.ui().RadioGroup8->button(1), Qt::LeftButton);
        checkColumn(form, 2);
    }

    void windows1252TextsAreShown()
    {
        FormFixture f;
        LanguageFileWriter w;
        w.languages = 1;
        w.texts = [](int, int row) {
            return row == 11 ? QByteArray("Ger\xe4t verbinden \x80") : QByteArray("x");
        };
        f.writeFile("Language.mlf", w.content());
        f.show();
        QCOMPARE(f.ui().Button9->text(), QStringLiteral("Gerät verbinden €"));
    }

    void shortFileLeavesEmptyTexts()
    {
        FormFixture f;
        LanguageFileWriter w;
        w.languages = 1;
        w.highestRow = 40;
        f.writeFile("Language.mlf", w.content());
        TForm1 &form = f.show();
        QCOMPARE(f.ui().Button9->text(), QStringLiteral("L1R11"));
        QCOMPARE(f.ui().Button3->text(), QString()); // row 52 lies above R
        QCOMPARE(form.messageText(68), QString());
    }

    void badLanguageFileStopsStartUp_data()
    {
        QTest::addColumn<QByteArray>("languages");
        QTest::addColumn<QByteArray>("highestRow");
        QTest::addColumn<QString>("errorStart");
        QTest::newRow("L not a number") << QByteArray("zwei") << QByteArray("80")
                                        << "PANTRIX_V20|'zwei' is not a valid integer value.";
        QTest::newRow("R not a number")
            << QByteArray("2") << QByteArray("") << "PANTRIX_V20|'' is not a valid integer value.";
        QTest::newRow("L too large")
            << QByteArray("10") << QByteArray("80") << "PANTRIX_V20|Line 2 of Language.mlf";
        QTest::newRow("R too large")
            << QByteArray("2") << QByteArray("100") << "PANTRIX_V20|Line 6 of Language.mlf";
    }
    void badLanguageFileStopsStartUp()
    {
        QFETCH(QByteArray, languages);
        QFETCH(QByteArray, highestRow);
        QFETCH(QString, errorStart);
        FormFixture f;
        QByteArray content = LanguageFileWriter().content();
        QList<QByteArray> lines = content.split('\n');
        lines[1] = languages + '\r';
        lines[5] = highestRow + '\r';
        f.writeFile("Language.mlf", lines.join('\n'));
        f.writeFile("Default.hsv",
                    QByteArray::fromHex("1B4854FF0606060606060606060606060606060D0A"));
        f.show();
        QCOMPARE(f.dialogs.errors.size(), 1);
        QVERIFY2(f.dialogs.errors.first().startsWith(errorStart),
                 qPrintable(f.dialogs.errors.first()));
        QVERIFY(f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
        QCOMPARE(f.ui().MaskEdit18->text(), QStringLiteral("001"));
    }

    void picturesNamedByTheFile_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("Image1") << 0;
        QTest::newRow("Image2") << 1;
        QTest::newRow("Image3") << 2;
    }
    void picturesNamedByTheFile()
    {
        QFETCH(int, which);
        FormFixture f;
        QImage picture(40, 20, QImage::Format_RGB888);
        picture.fill(Qt::green);
        QVERIFY(picture.save(f.path("picture.bmp")));
        LanguageFileWriter w;
        w.pictures[which] = "picture.bmp";
        w.pictures[(which + 1) % 3] = "missing.bmp";
        f.writeFile("Language.mlf", w.content());
        f.show();
        QVERIFY(f.dialogs.errors.isEmpty());
        // The Info picture is drawn when its page first shows, and only
        // when no file took its place.
        f.ui().PageControl1->setActivePage(f.ui().TabSheet4);
        QLabel *images[] = {f.ui().Image1, f.ui().Image2, f.ui().Image3};
        const QSize builtIn[] = {{999, 333}, {720, 240}, {360, 360}};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(images[i]->pixmap().size(), i == which ? QSize(40, 20) : builtIn[i]);
    }

    void unknownPictureExtensionStopsStartUp()
    {
        FormFixture f;
        f.writeFile("logo.gif", "GIF89a");
        LanguageFileWriter w;
        w.pictures[1] = "logo.gif";
        f.writeFile("Language.mlf", w.content());
        f.show();
        QCOMPARE(f.dialogs.errors,
                 QStringList{"PANTRIX_V20|Unknown picture file extension (.gif)."});
        QCOMPARE(f.ui().RadioGroup8->items(), QStringList{"Deutsch"});
        QVERIFY(f.ui().PageControl1->isPageTabVisible(f.ui().TabSheet3));
    }
};

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
