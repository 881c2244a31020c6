#pragma once

#include <QString>
#include <array>
#include <cstdint>

// The 30-byte settings record of the display: header ESC "Z" "E", ten tag
// letters each followed by its value in ASCII, tail CR LF. This class only
// knows the byte layout; the settings page supplies and receives the values
// through SettingsControls. It sends nothing and touches no file.
class SettingsControls;

class SettingsTelegram
{
public:
    static constexpr int Size = 30;
    using Bytes = std::array<std::uint8_t, Size>;

    // The characters of the dimming levels, indexed by the dimming item.
    static constexpr char DimmingCharacters[] = "FEDCBA9876543210Z";
    static constexpr int DimmingLevels = 17;
    // Sent when no dimming item with a character is chosen: full brightness,
    // the level the window starts with.
    static constexpr char DimmingFallback = 'F';

    // Builds all 30 bytes from the controls; never fails.
    static Bytes assemble(const SettingsControls &controls);

    // Sets the controls from the record in a fixed order. A byte that must be
    // a decimal digit and is not raises EConvertError; the controls set before
    // it keep their new values.
    static void spread(const Bytes &record, SettingsControls &controls);

    // Item that a packed protocol character selects (protocol, special function).
    static int specialFunctionOf(std::uint8_t packed);
    static int protocolOf(std::uint8_t packed);
};
