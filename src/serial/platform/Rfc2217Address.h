#pragma once

#include <QString>
#include <optional>

// The address of a COM port server, written "rfc2217://HOST:PORT": HOST an
// IPv4 address, a host name, or an IPv6 address in brackets; PORT 1 to 65535.
// Nothing may follow the port.
struct Rfc2217Address
{
    QString host;
    quint16 port = 0;

    // True for every name with the rfc2217:// scheme, valid or not, so that a
    // mistyped address is reported as such instead of being opened as a file.
    static bool isNetworkPath(const QString &path);
    static std::optional<Rfc2217Address> parse(const QString &path);
};
