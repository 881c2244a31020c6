#include "StatusLine.h"

#include <QHBoxLayout>
#include <QLabel>

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
}

QString StatusLine::text() const
{
    return m_label->text();
}

void StatusLine::setText(const QString &text)
{
    m_label->setText(text);
}
