#pragma once

#include <QByteArray>
#include <QtGlobal>

// The line transformation of scrambled language files. A linear congruential
// generator (32-bit state, fixed seed) yields one rotation count of 1 or 2 per
// character; unscrambling rotates the character's top three bits left by that
// count, scrambling rotates them right. The lower five bits never change, so
// codes 0-31 and 224-255 pass unchanged. The counts run on across lines in the
// order in which lines are transformed; an empty line draws nothing. This class
// knows nothing of files or of which lines are transformed.
class LineScrambler
{
public:
    static constexpr quint32 Seed = 5938;
    static constexpr quint32 Multiplier = 134775813;

    LineScrambler() { seed(); }

    void seed() { m_state = Seed; }
    quint32 state() const { return m_state; }

    // Advances the state and returns a number from 0 to range - 1.
    quint32 draw(quint32 range);
    // 1 when the new state's top bit is 0, 2 when it is 1.
    int nextRotationCount() { return 1 + int(draw(2)); }

    void UnscrambleLine(QByteArray &line);
    void scrambleLine(QByteArray &line);

    static uchar rotateTopBitsLeft(uchar code, int count);
    static uchar rotateTopBitsRight(uchar code, int count);

private:
    quint32 m_state = Seed;
};
