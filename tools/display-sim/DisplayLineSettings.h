#pragma once

#include <QString>
#include <QtGlobal>
#include <chrono>

// The serial line settings that an RFC 2217 client sets, with the values of the
// RFC's SET-DATASIZE, SET-PARITY and SET-STOPSIZE commands. The simulated display
// needs them to know how long each character takes on the line.
struct DisplayLineSettings
{
    quint32 baudrate = 300;
    quint8 dataBits = 8;
    quint8 parity = 1;   // none
    quint8 stopSize = 2; // two stop bits

    // Start bit, data bits, parity bit and stop bits of one character.
    double bitsPerCharacter() const;
    std::chrono::nanoseconds characterTime() const;
    // For example "300 baud 8N2".
    QString text() const;

    bool operator==(const DisplayLineSettings &other) const = default;
};
