#include "DisplayLineSettings.h"

#include "Rfc2217Codec.h"

double DisplayLineSettings::bitsPerCharacter() const
{
    const double parityBits = parity == ComPort::ParityNone ? 0.0 : 1.0;
    const double stopBits = stopSize == ComPort::StopsizeOneAndHalf ? 1.5
                            : stopSize == ComPort::StopsizeTwo      ? 2.0
                                                                    : 1.0;
    return 1.0 + dataBits + parityBits + stopBits;
}

std::chrono::nanoseconds DisplayLineSettings::characterTime() const
{
    if (baudrate == 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(qint64(bitsPerCharacter() * 1e9 / baudrate + 0.5));
}

QString DisplayLineSettings::text() const
{
    static const char parityLetters[] = "?NOEMS";
    const char parityLetter = parity <= ComPort::ParitySpace ? parityLetters[parity] : '?';
    const QString stop = stopSize == ComPort::StopsizeOneAndHalf ? QStringLiteral("1.5")
                         : stopSize == ComPort::StopsizeTwo      ? QStringLiteral("2")
                                                                 : QStringLiteral("1");
    return QStringLiteral("%1 baud %2%3%4").arg(baudrate).arg(dataBits).arg(parityLetter).arg(stop);
}
