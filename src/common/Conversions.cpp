#include "Conversions.h"

#include "Exception.h"

#include <limits>

namespace Conversions {

namespace {

bool parseDecimal(const QString &text, qint64 &value)
{
    int pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
        negative = text[pos] == u'-';
        ++pos;
    }
    if (pos == text.size())
        return false;
    qint64 result = 0;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c < u'0' || c > u'9')
            return false;
        result = result * 10 + (c.unicode() - u'0');
        if (result > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    value = negative ? -result : result;
    return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

} // namespace

int strToInt(const QString &text)
{
    qint64 value = 0;
    if (!parseDecimal(text, value))
        throw EConvertError::notInteger(text);
    return int(value);
}

bool strToBool(const QString &text)
{
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    qint64 integer = 0;
    if (parseDecimal(text, integer))
        return integer != 0;
    // A decimal fraction such as "0.5" is a number too.
    bool ok = false;
    const double real = text.toDouble(&ok);
    if (ok && !text.contains(u'e', Qt::CaseInsensitive) && !text.contains(u' '))
        return real != 0.0;
    throw EConvertError::notBoolean(text);
}

QString boolToStr(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

} // namespace Conversions
