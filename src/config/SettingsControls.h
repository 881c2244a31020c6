#pragma once

#include <QString>

// The settings page as the settings record sees it: item indexes of its
// choices (-1 for none), the texts of its digit fields and the blank flag.
// Setting an item index follows the radio group rule: below 0 selects no
// item, past the last item selects the last one.
class SettingsControls
{
public:
    virtual ~SettingsControls() = default;

    virtual int interfaceIndex() const = 0;
    virtual int baudRateIndex() const = 0;
    virtual int parityIndex() const = 0;
    virtual int protocolIndex() const = 0;
    virtual int specialFunctionIndex() const = 0;
    virtual int decimalPointIndex() const = 0;
    virtual int negativeValuesIndex() const = 0;
    virtual int dimmingIndex() const = 0;
    virtual QString address() const = 0;
    virtual QString leadingBlanks() const = 0;
    virtual QString timeout() const = 0;
    virtual bool blankOnTimeout() const = 0;

    virtual void setInterfaceIndex(int index) = 0;
    virtual void setBaudRateIndex(int index) = 0;
    virtual void setParityIndex(int index) = 0;
    virtual void setSpecialFunctionIndex(int index) = 0;
    virtual void setProtocolIndex(int index) = 0;
    virtual void setAddress(const QString &digits) = 0;
    virtual void setLeadingBlanks(const QString &digits) = 0;
    virtual void setDecimalPointIndex(int index) = 0;
    virtual void setNegativeValuesIndex(int index) = 0;
    // Called only with an index of the dimming character table.
    virtual void setDimmingIndex(int index) = 0;
    // Unchecks "Blank" without checking its partner.
    virtual void clearBlankOnTimeout() = 0;
    // Checks "Blank", which unchecks its partner.
    virtual void setBlankOnTimeout() = 0;
    virtual void setTimeout(const QString &digits) = 0;
};
