#include "DeviceNameFormat.h"

namespace {

bool isIntegerConversion(QChar c)
{
    return c == QLatin1Char('d') || c == QLatin1Char('i') || c == QLatin1Char('u');
}

} // namespace

QString FormatDeviceName(const QString &nameTemplate, int number)
{
    QString result;
    bool numberUsed = false;
    const qsizetype size = nameTemplate.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = nameTemplate.at(i);
        if (c != QLatin1Char('%') || i + 1 >= size) {
            result += c;
            continue;
        }
        if (nameTemplate.at(i + 1) == QLatin1Char('%')) {
            result += c;
            ++i;
            continue;
        }
        // Optional zero flag and width, then the conversion letter.
        qsizetype j = i + 1;
        const bool zeroPad = nameTemplate.at(j) == QLatin1Char('0');
        if (zeroPad)
            ++j;
        int width = 0;
        while (j < size && nameTemplate.at(j).isDigit() && width < 100)
            width = width * 10 + nameTemplate.at(j++).digitValue();
        if (numberUsed || j >= size || !isIntegerConversion(nameTemplate.at(j))) {
            result += c;
            continue;
        }
        const QChar fill = zeroPad ? QLatin1Char('0') : QLatin1Char(' ');
        const qint64 value =
            nameTemplate.at(j) == QLatin1Char('u') ? qint64(quint32(number)) : qint64(number);
        result += QString::number(value).rightJustified(width, fill);
        numberUsed = true;
        i = j;
    }
    return result;
}
