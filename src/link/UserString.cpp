#include "UserString.h"

namespace UserString {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

std::optional<QByteArray> expand(const QByteArray &text)
{
    QByteArray output;
    output.reserve(text.size());
    for (qsizetype pos = 0; pos < text.size(); ++pos) {
        if (text[pos] != '#') {
            output += text[pos];
            continue;
        }
        int value = 0;
        for (int i = 1; i <= 3; ++i) {
            if (pos + i >= text.size() || !isDigit(text[pos + i]))
                return std::nullopt;
            value = value * 10 + (text[pos + i] - '0');
        }
        output += char(value % 256);
        pos += 3;
    }
    return output;
}

} // namespace UserString
