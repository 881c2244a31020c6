#include "RadioButtons.h"

#include <QRadioButton>

namespace RadioButtons {

void setChecked(QRadioButton *button, bool checked)
{
    if (checked || !button->isChecked()) {
        button->setChecked(checked);
        return;
    }
    button->setAutoExclusive(false);
    button->setChecked(false);
    button->setAutoExclusive(true);
}

} // namespace RadioButtons
