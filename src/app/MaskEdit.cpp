#include "MaskEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

MaskEdit::MaskEdit(QWidget *parent) : QLineEdit(parent) {}

void MaskEdit::setDigits(int digits)
{
    m_digits = digits;
    // "0" is a required digit; the blank shows unfilled positions.
    setInputMask(QString(digits, u'0') + QStringLiteral(";_"));
}

void MaskEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        focusNextChild();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void MaskEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    const QWidget *next = QApplication::focusWidget();
    if (!next || next->window() != window())
        return;
    // The check may open a modal box and move the focus back; let the focus
    // change finish first.
    QMetaObject::invokeMethod(this, &MaskEdit::exited, Qt::QueuedConnection);
}
