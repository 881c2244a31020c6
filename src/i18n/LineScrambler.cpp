#include "LineScrambler.h"

namespace {

constexpr uchar kLowBits = 0x1F;

uchar withTopBits(uchar code, unsigned topBits)
{
    return uchar(((topBits & 7u) << 5) | (code & kLowBits));
}

} // namespace

quint32 LineScrambler::draw(quint32 range)
{
    m_state = m_state * Multiplier + 1; // unsigned arithmetic wraps modulo 2^32
    return quint32((quint64(m_state) * range) >> 32);
}

void LineScrambler::UnscrambleLine(QByteArray &line)
{
    for (char &c : line)
        c = char(rotateTopBitsLeft(uchar(c), nextRotationCount()));
}

void LineScrambler::scrambleLine(QByteArray &line)
{
    for (char &c : line)
        c = char(rotateTopBitsRight(uchar(c), nextRotationCount()));
}

uchar LineScrambler::rotateTopBitsLeft(uchar code, int count)
{
    const unsigned top = code >> 5;
    const unsigned k = unsigned(count) % 3;
    return withTopBits(code, (top << k) | (top >> (3 - k)));
}

uchar LineScrambler::rotateTopBitsRight(uchar code, int count)
{
    const unsigned top = code >> 5;
    const unsigned k = unsigned(count) % 3;
    return withTopBits(code, (top >> k) | (top << (3 - k)));
}
