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
};

} // namespace MessageRow
