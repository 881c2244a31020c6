#pragma once

#include "platform/CommTypes.h"

#include <QtGlobal>
#include <initializer_list>

// The enumerations of the serial component. Their order is their stored
// ordinal, which is also the bit a set of them uses.

enum TVaBaudrate
{
    brUser,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TVaParity
{
    paNone,
    paOdd,
    paEven,
    paMark,
    paSpace
};
enum TVaDatabits
{
    db4,
    db5,
    db6,
    db7,
    db8
};
enum TVaStopbits
{
    sb1,
    sb15,
    sb2
};
enum TVaControlDtr
{
    dtrDisabled,
    dtrEnabled,
    dtrHandshake
};
enum TVaControlRts
{
    rtsDisabled,
    rtsEnabled,
    rtsHandshake,
    rtsToggle
};
enum TVaCommOption
{
    coErrorChar,
    coNullStrip,
    coParityCheck
};
enum TVaCommEvent
{
    ceBreak,
    ceCts,
    ceDsr,
    ceError,
    ceRing,
    ceRlsd,
    ceRxChar,
    ceTxEmpty,
    ceRxFlag,
    cePErr,
    ceRx80Full,
    ceEvent1,
    ceEvent2
};
enum TThreadPriority
{
    tpIdle,
    tpLowest,
    tpLower,
    tpNormal,
    tpHigher,
    tpHighest,
    tpTimeCritical
};

// A set of enumeration values, one bit per ordinal.
template <typename Enum> class TVaSet
{
public:
    constexpr TVaSet() = default;
    constexpr TVaSet(std::initializer_list<Enum> values)
    {
        for (Enum value : values)
            m_bits |= bit(value);
    }

    constexpr bool Contains(Enum value) const { return (m_bits & bit(value)) != 0; }
    constexpr bool IsEmpty() const { return m_bits == 0; }
    constexpr quint32 Bits() const { return m_bits; }

    constexpr TVaSet &operator<<(Enum value)
    {
        m_bits |= bit(value);
        return *this;
    }
    constexpr TVaSet &Exclude(Enum value)
    {
        m_bits &= ~bit(value);
        return *this;
    }
    friend constexpr bool operator==(TVaSet a, TVaSet b) { return a.m_bits == b.m_bits; }

private:
    static constexpr quint32 bit(Enum value) { return 1u << static_cast<int>(value); }
    quint32 m_bits = 0;
};

using TVaCommOptions = TVaSet<TVaCommOption>;
using TVaCommEvents = TVaSet<TVaCommEvent>;

// Bits per second of each TVaBaudrate but brUser.
constexpr quint32 BaudrateBitsPerSecond(TVaBaudrate rate)
{
    constexpr quint32 rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rates[rate];
}

// The line event bit of each TVaCommEvent.
constexpr quint32 CommEventBit(TVaCommEvent event)
{
    constexpr quint32 bits[] = {CommEvent::Break,  CommEvent::Cts,      CommEvent::Dsr,
                                CommEvent::Error,  CommEvent::Ring,     CommEvent::Rlsd,
                                CommEvent::RxChar, CommEvent::TxEmpty,  CommEvent::RxFlag,
                                CommEvent::PErr,   CommEvent::Rx80Full, CommEvent::Event1,
                                CommEvent::Event2};
    return bits[event];
}
