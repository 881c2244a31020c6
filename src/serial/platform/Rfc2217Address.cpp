#include "Rfc2217Address.h"

#include <QRegularExpression>

namespace {

const QString Scheme = QStringLiteral("rfc2217://");

} // namespace

bool Rfc2217Address::isNetworkPath(const QString &path)
{
    return path.startsWith(Scheme, Qt::CaseInsensitive);
}

std::optional<Rfc2217Address> Rfc2217Address::parse(const QString &path)
{
    if (!isNetworkPath(path))
        return std::nullopt;
    // A bracketed IPv6 address, or a name or IPv4 address without ':', '/' or
    // blanks; then the port in decimal.
    static const QRegularExpression pattern(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^\\s:/\\[\\]@?#]+)):([0-9]{1,5})$"));
    const QRegularExpressionMatch match = pattern.match(path.mid(Scheme.size()));
    if (!match.hasMatch())
        return std::nullopt;
    const int port = match.captured(3).toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    const QString host = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
    return Rfc2217Address{host, quint16(port)};
}
