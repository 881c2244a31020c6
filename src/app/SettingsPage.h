#pragma once

#include "SettingsControls.h"

namespace Ui {
class TForm1;
}

// The controls of page "Einstellungen" as the settings record reads and
// writes them.
class SettingsPage : public SettingsControls
{
public:
    explicit SettingsPage(Ui::TForm1 &ui) : m_ui(ui) {}

    int interfaceIndex() const override;
    int baudRateIndex() const override;
    int parityIndex() const override;
    int protocolIndex() const override;
    int specialFunctionIndex() const override;
    int decimalPointIndex() const override;
    int negativeValuesIndex() const override;
    int dimmingIndex() const override;
    QString address() const override;
    QString leadingBlanks() const override;
    QString timeout() const override;
    bool blankOnTimeout() const override;

    void setInterfaceIndex(int index) override;
    void setBaudRateIndex(int index) override;
    void setParityIndex(int index) override;
    void setSpecialFunctionIndex(int index) override;
    void setProtocolIndex(int index) override;
    void setAddress(const QString &digits) override;
    void setLeadingBlanks(const QString &digits) override;
    void setDecimalPointIndex(int index) override;
    void setNegativeValuesIndex(int index) override;
    void setDimmingIndex(int index) override;
    void clearBlankOnTimeout() override;
    void setBlankOnTimeout() override;
    void setTimeout(const QString &digits) override;

private:
    Ui::TForm1 &m_ui;
};
