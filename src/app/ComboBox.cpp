#include "ComboBox.h"

#include <QLineEdit>
#include <QValidator>

namespace {

// Limits what the user types, as a maximum length would, without cutting a
// longer text that the program displays.
class TypedLengthValidator : public QValidator
{
public:
    TypedLengthValidator(int maxLength, QObject *parent) : QValidator(parent), m_max(maxLength) {}
    State validate(QString &input, int &) const override
    {
        return input.size() <= m_max ? Acceptable : Invalid;
    }

private:
    int m_max;
};

} // namespace

ComboBox::ComboBox(QWidget *parent) : QComboBox(parent)
{
    setInsertPolicy(QComboBox::NoInsert);
    setMaxVisibleItems(20);
    connect(this, &QComboBox::activated, this, &ComboBox::onActivated);
}

QStringList ComboBox::items() const
{
    QStringList list;
    for (int i = 0; i < count(); ++i)
        list << itemText(i);
    return list;
}

void ComboBox::setItems(const QStringList &items)
{
    const QString shown = text();
    clear();
    addItems(items);
    m_itemIndex = -1;
    setCurrentIndex(-1);
    applyEditorSettings();
    if (isEditable())
        lineEdit()->setText(shown);
}

void ComboBox::setItemIndex(int index)
{
    if (index < 0 || index >= count()) {
        m_itemIndex = -1;
        return;
    }
    m_itemIndex = index;
    setCurrentIndex(index);
}

void ComboBox::setText(const QString &text)
{
    applyEditorSettings();
    if (isEditable())
        lineEdit()->setText(text);
    else
        setCurrentText(text);
}

void ComboBox::setMaxLength(int length)
{
    m_maxLength = length;
    applyEditorSettings();
}

void ComboBox::chooseAsUser(int index)
{
    setCurrentIndex(index);
    onActivated(index);
}

void ComboBox::onActivated(int index)
{
    m_itemIndex = index;
    emit change();
}

void ComboBox::onTextEdited()
{
    m_itemIndex = -1;
    emit change();
}

void ComboBox::applyEditorSettings()
{
    QLineEdit *editor = lineEdit();
    if (!editor)
        return;
    if (m_maxLength > 0 && !editor->validator())
        editor->setValidator(new TypedLengthValidator(m_maxLength, editor));
    // The editor is created when the box becomes editable; connect it once.
    if (!editor->property("pantrixConnected").toBool()) {
        editor->setProperty("pantrixConnected", true);
        connect(editor, &QLineEdit::textEdited, this, &ComboBox::onTextEdited);
    }
}
