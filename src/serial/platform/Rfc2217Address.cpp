#include "Rfc2217Address.h"


namespace {

const QString Scheme = QStringLiteral("rfc2217://");

} // namespace

bool Rfc2217Address::isNetworkPath(const QString &path)
{
    return path.startsWith(Scheme, Qt::CaseInsensitive);
}

namespace {

bool isDecimalPort(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return false;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

bool isHostName(QStringView host)
{
    static const QString forbidden = QStringLiteral(":/[]@?#");
    for (QChar c : host) {
        if (c.isSpace() || forbidden.contains(c))
            return false;
    }
    return !host.isEmpty();
}

bool isIpv6Literal(QStringView host)
{
    for (QChar c : host) {
        if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' ||
              c == u'.'))
            return false;
    }
    return !host.isEmpty();
}

} // namespace

// Parsed by hand, not with a regular expression: opens run on threads of
// their own, and a regular expression's per-thread state crashes at the end
// of such a thread with MinGW's thread-local storage.
std::optional<Rfc2217Address> Rfc2217Address::parse(const QString &path)
{
    if (!isNetworkPath(path))
        return std::nullopt;
    // A bracketed IPv6 address, or a name or IPv4 address without ':', '/' or
    // blanks; then the port in decimal.
    const QStringView rest = QStringView(path).mid(Scheme.size());
    QStringView host;
    qsizetype colon = -1;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0 || !isIpv6Literal(rest.mid(1, close - 1)))
            return std::nullopt;
        host = rest.mid(1, close - 1);
        colon = close + 1;
        if (colon >= rest.size() || rest[colon] != u':')
            return std::nullopt;
    } else {
        colon = rest.indexOf(u':');
        if (colon < 0 || !isHostName(rest.left(colon)))
            return std::nullopt;
        host = rest.left(colon);
    }
    const QStringView digits = rest.mid(colon + 1);
    if (!isDecimalPort(digits))
        return std::nullopt;
    const int port = digits.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return Rfc2217Address{host.toString(), quint16(port)};
}
