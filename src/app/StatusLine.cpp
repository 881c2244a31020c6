#include "StatusLine.h"

#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>

namespace {

QAccessibleInterface *statusLineAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("StatusLine") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StatusBar);
    return nullptr;
}

} // namespace

StatusLine::StatusLine(QWidget *parent) : QWidget(parent), m_label(new QLabel(this))
{
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::yellow);
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->addWidget(m_label);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setMinimumHeight(m_label->fontMetrics().height());
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(statusLineAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}

QString StatusLine::text() const
{
    return m_label->text();
}

void StatusLine::setText(const QString &text)
{
    if (text != m_label->text())
        setReason({});
    m_label->setText(text);
    // Screen readers read the status bar by its name; padding is no text.
    setAccessibleName(text.trimmed());
}

void StatusLine::setReason(const QString &reason)
{
    setToolTip(reason);
    setAccessibleDescription(reason);
}
