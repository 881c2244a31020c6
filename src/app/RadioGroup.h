#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

// A framed group of radio buttons that is one choice with an item index.
// Setting the index clamps it: below 0 selects no item, past the last item
// selects the last. `itemSelected` runs whenever an item becomes selected,
// by the user or by the program, but not when the selection is cleared and
// not when the items are rebuilt.
class RadioGroup : public QGroupBox
{
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
    Q_PROPERTY(int columns READ columns WRITE setColumns)

public:
    explicit RadioGroup(QWidget *parent = nullptr);

    QStringList items() const { return m_items; }
    // Replaces the items; the selection stays where it still names an item.
    void setItems(const QStringList &items);
    void clearItems();
    void addItem(const QString &text);
    int count() const { return int(m_items.size()); }

    int itemIndex() const { return m_itemIndex; }
    void setItemIndex(int index);

    int columns() const { return m_columns; }
    void setColumns(int columns);

    // The button of an item, for tests that click it as a user would.
    QRadioButton *button(int index) const;

signals:
    void itemSelected(int index);

private:
    void rebuildButtons();
    void checkButton(int index, bool checked);
    void onButtonToggled(int id, bool checked);

    QStringList m_items;
    int m_itemIndex = -1;
    int m_columns = 1;
    bool m_updating = false;
    QButtonGroup *m_group;
    QGridLayout *m_layout;
};
