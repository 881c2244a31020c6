#pragma once

#include <QLineEdit>

// A field of exactly `digits` decimal digits, one per position. `exited`
// runs after the focus has moved from this field to another control of the
// same window; a message box or another window taking the focus is no exit.
class MaskEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int digits READ digits WRITE setDigits)

public:
    explicit MaskEdit(QWidget *parent = nullptr);

    int digits() const { return m_digits; }
    void setDigits(int digits);

signals:
    void exited();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    // Enter takes the value as Tab would: on to the next field, and the check runs.
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_digits = 0;
};
