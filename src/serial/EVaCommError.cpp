#include "EVaCommError.h"

namespace {

QString fill(const QString &format, const QString *number, const QString *text)
{
    QString result;
    result.reserve(format.size() + 64);
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        const QChar next = i + 1 < format.size() ? format.at(i + 1) : QChar();
        if (c == QLatin1Char('%') && next == QLatin1Char('%')) {
            result += c;
            ++i;
        } else if (c == QLatin1Char('%') && next == QLatin1Char('d') && number) {
            result += *number;
            number = nullptr;
            ++i;
        } else if (c == QLatin1Char('%') && next == QLatin1Char('s') && text) {
            result += *text;
            text = nullptr;
            ++i;
        } else {
            result += c;
        }
    }
    return result;
}

} // namespace

QString EVaCommError::Format(const QString &format, int code, const QString &text)
{
    const QString number = QString::number(code);
    return fill(format, &number, &text);
}

QString EVaCommError::Format(const QString &format, const QString &text)
{
    return fill(format, nullptr, &text);
}
