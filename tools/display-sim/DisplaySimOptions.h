#pragma once

#include <QtGlobal>
#include <chrono>
#include <optional>

// How the simulated display behaves: pacing, and the faults it shows on purpose.
struct DisplaySimOptions
{
    static constexpr quint8 Ack = 0x06;

    // Send and take bytes at once instead of at the line's speed.
    bool fast = false;
    // The display takes everything in but never sends a byte.
    bool silent = false;
    // What the display sends when RTS rises.
    quint8 rtsAnswer = Ack;
    // The echo byte at this offset is changed (xor 0x01).
    std::optional<int> corruptEchoOffset;
    // An ENQ is put into the middle of every echo.
    bool enqInEcho = false;
    // ENQ stops once RTS has been high this long.
    std::optional<std::chrono::milliseconds> stopEnqAfter;
    // The connection is closed this long after it was accepted.
    std::optional<std::chrono::milliseconds> dropAfter;
};
