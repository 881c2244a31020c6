#include "TabOrder.h"

#include <QLayout>
#include <QScrollArea>
#include <QWidget>

namespace {

void collect(QWidget *widget, QList<QWidget *> &controls);

void collect(QLayout *layout, QList<QWidget *> &controls)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem *item = layout->itemAt(i);
        if (QWidget *widget = item->widget())
            collect(widget, controls);
        else if (QLayout *inner = item->layout())
            collect(inner, controls);
    }
}

void collect(QWidget *widget, QList<QWidget *> &controls)
{
    if (widget->focusPolicy() & Qt::TabFocus)
        controls << widget;
    if (auto *area = qobject_cast<QScrollArea *>(widget); area && area->widget())
        collect(area->widget(), controls);
    else if (QLayout *layout = widget->layout())
        collect(layout, controls);
}

} // namespace

namespace TabOrder {

void followLayout(QWidget *root)
{
    QList<QWidget *> controls;
    if (QLayout *layout = root->layout())
        collect(layout, controls);
    for (qsizetype i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1], controls[i]);
}

} // namespace TabOrder
