#include "DetailTexts.h"

#include "MessageRow.h"

namespace DetailTexts {

QString english(int row)
{
    switch (row) {
    case MessageRow::DetailConnected:
        return QStringLiteral("The display answered ACK on %1, %2");
    case MessageRow::DetailSettingsSent:
        return QStringLiteral("Settings sent and confirmed by the display, %1");
    case MessageRow::DetailSettingsRead:
        return QStringLiteral("Settings read from the display, %1");
    case MessageRow::DetailBrightnessSent:
        return QStringLiteral("Brightness table sent and confirmed by the display, %1");
    case MessageRow::DetailBrightnessRead:
        return QStringLiteral("Brightness table read from the display, %1");
    case MessageRow::DetailUserStringSent:
        return QStringLiteral("User string sent, %1");
    case MessageRow::DetailNoAck:
        return QStringLiteral("No ACK within %1 s after RTS was raised: is the display switched "
                              "on, cabled to this port and set to this port's baud rate?");
    case MessageRow::DetailWrongAnswer:
        return QStringLiteral("The display answered %1 hex instead of ACK (06 hex): check the "
                              "baud rate and the parity.");
    case MessageRow::DetailNoSignOfLife:
        return QStringLiteral("The display sent no sign of life (ENQ) for %1 s.");
    case MessageRow::DetailPortLost:
        return QStringLiteral("The connection to the port ended: %1");
    case MessageRow::DetailEchoIncomplete:
        return QStringLiteral("%1 of the %2 bytes sent came back as confirmation within %3 s.");
    case MessageRow::DetailEchoDiffers:
        return QStringLiteral("The confirmation differs from what was sent at byte %1: sent %2 "
                              "hex, received %3 hex.");
    case MessageRow::DetailReplyIncomplete:
        return QStringLiteral("%1 of the %2 bytes of the reply came within %3 s.");
    case MessageRow::PortsPanelTitle:
        return QStringLiteral("Serial devices on this computer");
    case MessageRow::PortsPanelUseAs:
        return QStringLiteral("Use as COM %1");
    case MessageRow::PortsPanelNone:
        return QStringLiteral("No serial device found.");
    case MessageRow::PortsPanelMapped:
        return QStringLiteral("COM %1 now reaches %2 (written to %3), %4");
    case MessageRow::LineMonitorButton:
        return QStringLiteral("Line monitor...");
    default:
        return {};
    }
}

} // namespace DetailTexts
