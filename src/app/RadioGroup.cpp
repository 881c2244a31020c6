#include "RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(QWidget *parent)
    : QGroupBox(parent), m_group(new QButtonGroup(this)), m_layout(new QGridLayout(this))
{
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idToggled, this, &RadioGroup::onButtonToggled);
}

void RadioGroup::setItems(const QStringList &items)
{
    m_items = items;
    if (m_itemIndex >= count())
        m_itemIndex = count() - 1;
    rebuildButtons();
}

void RadioGroup::clearItems()
{
    setItems({});
}

void RadioGroup::addItem(const QString &text)
{
    setItems(m_items + QStringList{text});
}

void RadioGroup::setItemIndex(int index)
{
    index = std::clamp(index, -1, count() - 1);
    if (index == m_itemIndex)
        return;
    if (m_itemIndex >= 0)
        checkButton(m_itemIndex, false);
    m_itemIndex = index;
    if (index >= 0) {
        checkButton(index, true);
        emit itemSelected(index);
    }
}

void RadioGroup::setColumns(int columns)
{
    m_columns = std::max(1, columns);
    rebuildButtons();
}

QRadioButton *RadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton *>(m_group->button(index));
}

void RadioGroup::rebuildButtons()
{
    m_updating = true;
    for (QAbstractButton *b : m_group->buttons()) {
        m_group->removeButton(b);
        delete b;
    }
    // Items fill the columns top to bottom, one column after the other.
    const int rows = (count() + m_columns - 1) / m_columns;
    for (int i = 0; i < count(); ++i) {
        auto *b = new QRadioButton(m_items[i], this);
        b->setObjectName(QStringLiteral("%1Item%2").arg(objectName()).arg(i));
        m_group->addButton(b, i);
        m_layout->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
    }
    if (m_itemIndex >= 0)
        checkButton(m_itemIndex, true);
    m_updating = false;
}

void RadioGroup::checkButton(int index, bool checked)
{
    QAbstractButton *b = m_group->button(index);
    if (!b)
        return;
    const bool wasUpdating = m_updating;
    m_updating = true;
    // An exclusive group refuses to uncheck its last checked button.
    m_group->setExclusive(checked);
    b->setChecked(checked);
    m_group->setExclusive(true);
    m_updating = wasUpdating;
}

void RadioGroup::onButtonToggled(int id, bool checked)
{
    if (m_updating || !checked || id == m_itemIndex)
        return;
    m_itemIndex = id;
    emit itemSelected(id);
}
