#pragma once

#include "SettingsControls.h"
#include "SettingsTelegram.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The display's settings as named fields, without a window: what the settings
// page holds, under the page's rules (a choice below 0 selects no item, past
// its last item the last one; digit fields hold their digits as text). A
// program without widgets decodes, shows and edits settings records through
// it, while SettingsTelegram does the byte work both ways, so a record read,
// edited and written again comes out exactly as the window would write it.
//
// It knows names, items and ranges; it reads and writes no file and talks to
// no display.
class SettingsFields : public SettingsControls
{
public:
    enum class Kind
    {
        Choice,
        Digits,
        Flag
    };

    struct Field
    {
        QString name; // "baud-rate"
        Kind kind;
        QStringList items; // the choice's items in index order; "no", "yes" for a flag
        int width = 0;     // digits of a digit field
    };

    // Every field in record order.
    static const QList<Field> &fields();
    static const Field *field(const QString &name);

    // Decodes a record as the window spreads it. A byte that must be a digit
    // and is not raises EConvertError, as in the window.
    static SettingsFields fromRecord(const SettingsTelegram::Bytes &record);
    SettingsTelegram::Bytes toRecord() const;

    // The field's value as a technician reads it: the item's text, the digits,
    // or "(none)" when a choice has no item selected.
    QString text(const QString &name) const;
    // The item index of a choice or flag (-1 for none); the number of a digit field.
    int number(const QString &name) const;

    // Sets a field from a text: an item's text (in any letter case) or its
    // index for a choice, 1 to `width` decimal digits for a digit field (filled
    // with leading zeros), yes/no, true/false or 1/0 for a flag. Returns the
    // reason when the value is refused; the field then keeps its value.
    std::optional<QString> set(const QString &name, const QString &value);

    // SettingsControls
    int interfaceIndex() const override { return m_choice[Interface]; }
    int baudRateIndex() const override { return m_choice[BaudRate]; }
    int parityIndex() const override { return m_choice[DataFormat]; }
    int protocolIndex() const override { return m_choice[Protocol]; }
    int specialFunctionIndex() const override { return m_choice[SpecialFunction]; }
    int decimalPointIndex() const override { return m_choice[DecimalPoint]; }
    int negativeValuesIndex() const override { return m_choice[NegativeValues]; }
    int dimmingIndex() const override { return m_choice[Dimming]; }
    QString address() const override { return m_address; }
    QString leadingBlanks() const override { return m_leading; }
    QString timeout() const override { return m_timeout; }
    bool blankOnTimeout() const override { return m_blank; }

    void setInterfaceIndex(int index) override { setChoice(Interface, index); }
    void setBaudRateIndex(int index) override { setChoice(BaudRate, index); }
    void setParityIndex(int index) override { setChoice(DataFormat, index); }
    void setSpecialFunctionIndex(int index) override { setChoice(SpecialFunction, index); }
    void setProtocolIndex(int index) override { setChoice(Protocol, index); }
    void setAddress(const QString &digits) override { m_address = digits; }
    void setLeadingBlanks(const QString &digits) override { m_leading = digits; }
    void setDecimalPointIndex(int index) override { setChoice(DecimalPoint, index); }
    void setNegativeValuesIndex(int index) override { setChoice(NegativeValues, index); }
    void setDimmingIndex(int index) override { setChoice(Dimming, index); }
    void clearBlankOnTimeout() override { m_blank = false; }
    void setBlankOnTimeout() override { m_blank = true; }
    void setTimeout(const QString &digits) override { m_timeout = digits; }

private:
    enum ChoiceSlot
    {
        Interface,
        BaudRate,
        DataFormat,
        Protocol,
        SpecialFunction,
        DecimalPoint,
        NegativeValues,
        Dimming,
        ChoiceCount
    };
    static int slotOf(const QString &name);
    void setChoice(int slot, int index);
    QString *digitsOf(const QString &name);
    const QString *digitsOf(const QString &name) const;

    int m_choice[ChoiceCount] = {-1, -1, -1, -1, -1, -1, -1, -1};
    QString m_address;
    QString m_leading;
    QString m_timeout;
    bool m_blank = false;
};
