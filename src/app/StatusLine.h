#pragma once

#include <QWidget>

class QLabel;

// The status line: one text, replaced whole, on a yellow background.
// Assistive technology sees it as a status bar whose name is its text. A
// reason given with setReason() explains the text (tooltip and accessible
// description) until the text changes.
class StatusLine : public QWidget
{
    Q_OBJECT

public:
    explicit StatusLine(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);

    QString reason() const { return toolTip(); }
    void setReason(const QString &reason);

private:
    QLabel *m_label;
};
