#include "SettingsPage.h"

#include "RadioButtons.h"
#include "ui_TForm1.h"

int SettingsPage::interfaceIndex() const
{
    return m_ui.RadioGroup1->itemIndex();
}
int SettingsPage::baudRateIndex() const
{
    return m_ui.RadioGroup2->itemIndex();
}
int SettingsPage::parityIndex() const
{
    return m_ui.RadioGroup3->itemIndex();
}
int SettingsPage::protocolIndex() const
{
    return m_ui.RadioGroup4->itemIndex();
}
int SettingsPage::specialFunctionIndex() const
{
    return m_ui.RadioGroup7->itemIndex();
}
int SettingsPage::decimalPointIndex() const
{
    return m_ui.RadioGroup5->itemIndex();
}
int SettingsPage::negativeValuesIndex() const
{
    return m_ui.RadioGroup6->itemIndex();
}
int SettingsPage::dimmingIndex() const
{
    return m_ui.ComboBox1->itemIndex();
}
QString SettingsPage::address() const
{
    return m_ui.MaskEdit1->text();
}
QString SettingsPage::leadingBlanks() const
{
    return m_ui.MaskEdit2->text();
}
QString SettingsPage::timeout() const
{
    return m_ui.MaskEdit19->text();
}
bool SettingsPage::blankOnTimeout() const
{
    return m_ui.RadioButton2->isChecked();
}

void SettingsPage::setInterfaceIndex(int index)
{
    m_ui.RadioGroup1->setItemIndex(index);
}
void SettingsPage::setBaudRateIndex(int index)
{
    m_ui.RadioGroup2->setItemIndex(index);
}
void SettingsPage::setParityIndex(int index)
{
    m_ui.RadioGroup3->setItemIndex(index);
}
void SettingsPage::setSpecialFunctionIndex(int index)
{
    m_ui.RadioGroup7->setItemIndex(index);
}
void SettingsPage::setProtocolIndex(int index)
{
    m_ui.RadioGroup4->setItemIndex(index);
}
void SettingsPage::setAddress(const QString &digits)
{
    m_ui.MaskEdit1->setText(digits);
}
void SettingsPage::setLeadingBlanks(const QString &digits)
{
    m_ui.MaskEdit2->setText(digits);
}
void SettingsPage::setDecimalPointIndex(int index)
{
    m_ui.RadioGroup5->setItemIndex(index);
}
void SettingsPage::setNegativeValuesIndex(int index)
{
    m_ui.RadioGroup6->setItemIndex(index);
}
void SettingsPage::setDimmingIndex(int index)
{
    m_ui.ComboBox1->setItemIndex(index);
}
void SettingsPage::clearBlankOnTimeout()
{
    RadioButtons::setChecked(m_ui.RadioButton2, false);
}
void SettingsPage::setBlankOnTimeout()
{
    RadioButtons::setChecked(m_ui.RadioButton2, true);
}
void SettingsPage::setTimeout(const QString &digits)
{
    m_ui.MaskEdit19->setText(digits);
}
