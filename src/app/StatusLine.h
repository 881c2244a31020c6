#pragma once

#include <QWidget>

class QLabel;

// The status line: one text, replaced whole, on a yellow background.
class StatusLine : public QWidget
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);

private:
    QLabel *m_label;
};
