#pragma once

#include <QComboBox>

// A drop-down list whose edit part can also be typed into. Its item index is
// -1 after the user types, and is kept when the program only replaces the
// displayed text. `change` runs for the user's choices and typing only.
class ComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(int maxLength READ maxLength WRITE setMaxLength)

public:
    explicit ComboBox(QWidget *parent = nullptr);

    QStringList items() const;
    // Replaces the items and clears the selection.
    void setItems(const QStringList &items);

    int itemIndex() const { return m_itemIndex; }
    // An index outside the items clears the selection and keeps the text.
    void setItemIndex(int index);

    QString text() const { return currentText(); }
    void setText(const QString &text);

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length);

    // Chooses an item from the list as the user would.
    void chooseAsUser(int index);

signals:
    void change();

private:
    void onActivated(int index);
    void onTextEdited();
    void applyEditorSettings();

    int m_itemIndex = -1;
    int m_maxLength = 0;
};
