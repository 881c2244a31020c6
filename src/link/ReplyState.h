#pragma once

#include <array>
#include <cstdint>

// What the receive path collects for the operation that waits: the reply
// bytes, how many are expected, and the flags that end a wait.
struct ReplyState
{
    static constexpr int BufferSize = 41;

    std::array<std::uint8_t, BufferSize> buffer{};
    int expectedLength = 0;
    bool replyComplete = false;
    bool timeOut = false;
    bool alive = false;
    bool pause = false;

    // Readies the state for a reply of `length` bytes (the time-out flag is
    // cleared where the timer is started).
    void prepare(int length)
    {
        replyComplete = false;
        buffer.fill(0);
        expectedLength = length;
    }
};
