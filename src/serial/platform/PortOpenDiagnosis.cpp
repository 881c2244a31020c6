#include "PortOpenDiagnosis.h"

#include "PortNameResolver.h"
#include "Rfc2217Address.h"

#include <cerrno>

namespace {

QString networkHint(const QString &target, int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("The host name of %1 is unknown.").arg(target);
    case ECONNREFUSED:
        return QStringLiteral("Nothing accepts connections at %1: is the COM port server (or "
                              "pantrix-display-sim) running there?")
            .arg(target);
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
        return QStringLiteral("The COM port server %1 does not answer: check the address and the "
                              "network.")
            .arg(target);
    case EPROTONOSUPPORT:
        return QStringLiteral("The server at %1 refuses COM port control or binary transfer: is it "
                              "an RFC 2217 server?")
            .arg(target);
    default:
        return {};
    }
}

} // namespace

namespace PortOpenDiagnosis {

QString hint(const QString &target, int error)
{
    if (Rfc2217Address::isNetworkPath(target))
        return networkHint(target, error);
    return deviceHint(target, error);
}

QString explain(const QString &portName, const QString &errorText, int error)
{
    return explainWithHint(portName, errorText, hint(PortNameResolver::resolve(portName), error));
}

QString explainWithHint(const QString &portName, const QString &errorText, const QString &hint)
{
    QStringList lines{PortNameResolver::describe(portName), errorText};
    if (!hint.isEmpty())
        lines << hint;
    return lines.join(u'\n');
}

} // namespace PortOpenDiagnosis
