#include "BrightnessTelegram.h"

#include "Conversions.h"

void BrightnessTelegram::assemble(const QStringList &fieldTexts, Bytes &record)
{
    record[0] = 0x1B;
    record[1] = 'H';
    record[2] = 'T';
    for (int n = 0; n < ValueCount; ++n) {
        const QString text = n < fieldTexts.size() ? fieldTexts[n] : QString();
        record[FirstValueOffset + n] = std::uint8_t(Conversions::strToInt(text) & 0xFF);
    }
    record[19] = 0x0D;
    record[20] = 0x0A;
}

QStringList BrightnessTelegram::fieldTexts(const Bytes &record)
{
    QStringList texts;
    for (int n = 0; n < ValueCount; ++n)
        texts << QStringLiteral("%1").arg(record[FirstValueOffset + n], 3, 10, QLatin1Char('0'));
    return texts;
}

bool BrightnessTelegram::isValueTextInRange(const QString &text)
{
    if (QString::compare(text, QLatin1String("255"), Qt::CaseSensitive) > 0)
        return false;
    return QString::compare(text, QLatin1String("001"), Qt::CaseSensitive) >= 0;
}
