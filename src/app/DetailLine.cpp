#include "DetailLine.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>

namespace {

QAccessibleInterface *detailLineAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("DetailLine") && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::StatusBar);
    return nullptr;
}

} // namespace

DetailLine::DetailLine(QWidget *parent) : QWidget(parent), m_label(new QLabel(this))
{
    setObjectName(QStringLiteral("DetailLine"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(m_label);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    // Selectable by mouse only: a label that takes keyboard focus would be one
    // more tab stop between the pages and the pictures.
    m_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_label->setFocusPolicy(Qt::NoFocus);
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(detailLineAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    // One line is always there, so that the window does not jump when a text comes.
    m_label->setMinimumHeight(m_label->fontMetrics().height());
}

QString DetailLine::text() const
{
    return m_label->text();
}

void DetailLine::showFailure(const QString &text)
{
    show(Kind::Failure, text);
}

void DetailLine::showSuccess(const QString &text)
{
    show(Kind::Success, text);
}

void DetailLine::clear()
{
    show(Kind::None, {});
}

void DetailLine::show(Kind kind, const QString &text)
{
    m_kind = text.isEmpty() ? Kind::None : kind;
    m_label->setText(text);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, m_kind == Kind::Failure ? QColor(0xa0, 0x10, 0x10)
                                                             : palette().color(QPalette::Text));
    m_label->setPalette(p);
    // Screen readers take a status bar's name as its text and announce the change.
    setAccessibleName(text);
    QAccessibleEvent event(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}
