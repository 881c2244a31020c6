#include "ComboBox.h"
#include "MaskEdit.h"
#include "PageControl.h"
#include "RadioGroup.h"

#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

// The small controls whose behaviour the window's handlers rely on.
class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    void radioGroupClamps_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("index");
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("last") << 2 << 2;
        QTest::newRow("past the last") << 7 << 2;
        QTest::newRow("minus one") << -1 << -1;
        QTest::newRow("far below") << -40 << -1;
    }
    void radioGroupClamps()
    {
        QFETCH(int, set);
        QFETCH(int, index);
        RadioGroup group;
        group.setItems({"a", "b", "c"});
        group.setItemIndex(set);
        QCOMPARE(group.itemIndex(), index);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(group.button(i)->isChecked(), i == index);
    }

    void radioGroupClickRunsOnlyWhenAnItemBecomesSelected()
    {
        RadioGroup group;
        group.setItems({"a", "b", "c"});
        group.show();
        QSignalSpy clicks(&group, &RadioGroup::itemSelected);
        group.setItemIndex(1);
        QCOMPARE(clicks.size(), 1);
        group.setItemIndex(1); // no change
        QCOMPARE(clicks.size(), 1);
        group.setItemIndex(-1); // cleared
        QCOMPARE(clicks.size(), 1);
        group.setItemIndex(5); // clamped to the last
        QCOMPARE(clicks.size(), 2);
        QTest::mouseClick(group.button(0), Qt::LeftButton);
        QCOMPARE(clicks.size(), 3);
        QCOMPARE(clicks.last().first().toInt(), 0);
        QCOMPARE(group.itemIndex(), 0);
        QTest::mouseClick(group.button(0), Qt::LeftButton); // already selected
        QCOMPARE(clicks.size(), 3);
        group.setItems({"x", "y"}); // rebuilding selects nothing anew
        QCOMPARE(clicks.size(), 3);
        QCOMPARE(group.itemIndex(), 0);
        group.clearItems();
        QCOMPARE(group.itemIndex(), -1);
    }

    void maskEditHoldsDigitsOnly()
    {
        MaskEdit edit;
        edit.setDigits(3);
        edit.setText("001");
        QCOMPARE(edit.text(), QStringLiteral("001"));
        edit.clear();
        QTest::keyClicks(&edit, "4a5b6");
        QCOMPARE(edit.text(), QStringLiteral("456"));
        QTest::keyClicks(&edit, "7");
        QCOMPARE(edit.text(), QStringLiteral("456"));
    }

    void pageControlCountsVisibleTabs()
    {
        PageControl pages;
        QWidget *p[5];
        for (int i = 0; i < 5; ++i)
            pages.addTab(p[i] = new QWidget, QString::number(i));
        QSignalSpy changes(&pages, &PageControl::change);
        pages.setPageTabVisible(p[1], false);
        pages.setActivePage(p[3]);
        QCOMPARE(pages.tabIndex(), 2);
        QCOMPARE(changes.size(), 0);
        pages.selectTabAsUser(3);
        QCOMPARE(pages.activePage(), p[4]);
        QCOMPARE(changes.size(), 1);
    }

    void comboBoxIndexFollowsTheUser()
    {
        ComboBox box;
        box.setEditable(true);
        box.setItems({"COM 1", "COM 2"});
        box.setText("none");
        QCOMPARE(box.itemIndex(), -1);
        QCOMPARE(box.text(), QStringLiteral("none"));
        QSignalSpy changes(&box, &ComboBox::change);
        box.chooseAsUser(1);
        QCOMPARE(box.itemIndex(), 1);
        QCOMPARE(changes.size(), 1);
        box.setText("shown text"); // a new display text keeps the choice
        QCOMPARE(box.itemIndex(), 1);
        QTest::keyClicks(box.lineEdit(), "x");
        QCOMPARE(box.itemIndex(), -1);
        QCOMPARE(changes.size(), 2);
        box.setItemIndex(9);
        QCOMPARE(box.itemIndex(), -1);
    }
};

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
