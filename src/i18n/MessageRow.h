#pragma once

// Rows of the language table that hold status and error messages. A message
// is looked up in the current language column at the moment it is shown;
// the names convert to int, as LanguageTable::message expects.
namespace MessageRow {

enum : int
{
    OpeningPort = 62,
    CannotOpenPort = 63,
    WaitingForAck = 64,
    AckTimeout = 65,
    AckTransferError = 66,
    DeviceConnected = 67,
    SelectPortFirst = 68,
    ConfirmationTimeout = 69,
    TransferError = 70,
    DataTimeout = 71,
    BrightnessOutOfRange = 72,
    ContactLost = 73,
    OfflineMode = 74,
    BadUserStringEscape = 76,

    // Rows after the window's own (81 to 99 are read but the window texts use
    // none of them): the detail line's texts, with %1, %2 ... for what each
    // names. A language file without them leaves the English texts in use.
    DetailConnected = 81,       // %1 port and what it reaches, %2 time
    DetailSettingsSent = 82,    // %1 time
    DetailSettingsRead = 83,    // %1 time
    DetailBrightnessSent = 84,  // %1 time
    DetailBrightnessRead = 85,  // %1 time
    DetailUserStringSent = 86,  // %1 time
    DetailNoAck = 87,           // %1 seconds
    DetailWrongAnswer = 88,     // %1 the byte in hex
    DetailNoSignOfLife = 89,    // %1 seconds
    DetailPortLost = 90,        // %1 the cause
    DetailEchoIncomplete = 91,  // %1 bytes received, %2 bytes sent, %3 seconds
    DetailEchoDiffers = 92,     // %1 byte position, %2 sent, %3 received (hex)
    DetailReplyIncomplete = 93, // %1 bytes received, %2 bytes expected, %3 seconds
    // The list of serial devices on the "COM-Port" page.
    PortsPanelTitle = 94,
    PortsPanelUseAs = 95, // %1 the COM port number
    PortsPanelNone = 96,
    PortsPanelMapped = 97, // %1 COM port number, %2 device, %3 ports file
    LineMonitorButton = 98,
};

} // namespace MessageRow
