#pragma once

#include <QWidget>

class QLabel;

// The line under the status line that says why: the reason and hint of the
// last failure, or the last success with its time. Its text can be selected
// and copied, and assistive technology reads it as a status bar whose name is
// the text and hears of each change.
class DetailLine : public QWidget
{
    Q_OBJECT

public:
    enum class Kind
    {
        None,
        Failure,
        Success
    };

    explicit DetailLine(QWidget *parent = nullptr);

    QString text() const;
    Kind kind() const { return m_kind; }
    void showFailure(const QString &text);
    void showSuccess(const QString &text);
    void clear();

private:
    void show(Kind kind, const QString &text);

    QLabel *m_label;
    Kind m_kind = Kind::None;
};
