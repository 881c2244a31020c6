#pragma once

// A settings page without widgets for the fuzz targets: it keeps what the
// record spreads onto it and clamps item indexes as the window's radio groups
// do, so that assembling sees what the window would hold.
#include "Exception.h"
#include "SettingsControls.h"
#include "SettingsTelegram.h"

#include <algorithm>
#include <cstdlib>

class SettingsPageModel : public SettingsControls
{
public:
    int index[8] = {0, 0, 0, 0, -1, -1, -1, 0};
    QString digits[3] = {"001", "00", "00"};
    bool blank = false;
    static int clamp(int i, int count) { return std::clamp(i, -1, count - 1); }

    int interfaceIndex() const override { return index[0]; }
    int baudRateIndex() const override { return index[1]; }
    int parityIndex() const override { return index[2]; }
    int protocolIndex() const override { return index[3]; }
    int specialFunctionIndex() const override { return index[4]; }
    int decimalPointIndex() const override { return index[5]; }
    int negativeValuesIndex() const override { return index[6]; }
    int dimmingIndex() const override { return index[7]; }
    QString address() const override { return digits[0]; }
    QString leadingBlanks() const override { return digits[1]; }
    QString timeout() const override { return digits[2]; }
    bool blankOnTimeout() const override { return blank; }
    void setInterfaceIndex(int i) override { index[0] = clamp(i, 2); }
    void setBaudRateIndex(int i) override { index[1] = clamp(i, 5); }
    void setParityIndex(int i) override { index[2] = clamp(i, 6); }
    void setSpecialFunctionIndex(int i) override { index[4] = clamp(i, 4); }
    void setProtocolIndex(int i) override { index[3] = clamp(i, 14); }
    void setAddress(const QString &d) override { digits[0] = d; }
    void setLeadingBlanks(const QString &d) override { digits[1] = d; }
    void setDecimalPointIndex(int i) override { index[5] = clamp(i, 6); }
    void setNegativeValuesIndex(int i) override { index[6] = clamp(i, 2); }
    void setDimmingIndex(int i) override { index[7] = i; }
    void clearBlankOnTimeout() override { blank = false; }
    void setBlankOnTimeout() override { blank = true; }
    void setTimeout(const QString &d) override { digits[2] = d; }
};

// Spreads a record onto a page; a record the page took spreads again without
// error and assembles to itself, or the process aborts. A conversion error
// must carry a text. Returns whether the record was taken.
inline bool spreadAndReassemble(const SettingsTelegram::Bytes &record)
{
    SettingsPageModel page;
    try {
        SettingsTelegram::spread(record, page);
    } catch (const EConvertError &e) {
        if (e.message().isEmpty())
            std::abort();
        return false;
    }
    const SettingsTelegram::Bytes once = SettingsTelegram::assemble(page);
    SettingsPageModel second;
    SettingsTelegram::spread(once, second);
    if (SettingsTelegram::assemble(second) != once)
        std::abort();
    return true;
}
