#include "PortNameResolver.h"

#include "PortsMap.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace PortNameResolver {

namespace {

// The number of a "COMn" name (letters in any case), or 0 when it is none.
int comNumber(const QString &portName)
{
    static const QRegularExpression pattern(QStringLiteral("^COM([1-9][0-9]{0,8})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto match = pattern.match(portName);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString builtInDefault(int number)
{
#ifdef _WIN32
    // Windows names its ports itself; this form reaches those above COM9 too.
    return QStringLiteral("\\\\.\\COM%1").arg(number);
#else
    const QString usbAdapter = QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
    if (QFileInfo::exists(usbAdapter))
        return usbAdapter;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString sourceText(const Resolution &resolution)
{
    switch (resolution.source) {
    case Source::Environment:
        return QStringLiteral("environment variable %1").arg(resolution.origin);
    case Source::PortsFile:
        return QStringLiteral("ports file %1").arg(resolution.origin);
    case Source::BuiltInDefault:
        return QStringLiteral("built-in default");
    case Source::AsGiven:
        break;
    }
    return QStringLiteral("name used as given");
}

} // namespace

Resolution lookup(const QString &portName)
{
    const int number = comNumber(portName);
    if (number == 0)
        return {portName, Source::AsGiven, QString()};

    const QString variable = QStringLiteral("PANTRIX_COM%1").arg(number);
    const QByteArray override = qgetenv(variable.toLatin1().constData());
    if (!override.isEmpty())
        return {QString::fromLocal8Bit(override), Source::Environment, variable};

    const QString portsFile = PortsMap::filePath();
    if (const auto mapped = PortsMap::load(portsFile).target(number))
        return {*mapped, Source::PortsFile, portsFile};

    return {builtInDefault(number), Source::BuiltInDefault, QString()};
}

QString resolve(const QString &portName)
{
    return lookup(portName).target;
}

QString describe(const QString &portName)
{
    const Resolution resolution = lookup(portName);
    return QStringLiteral("%1: %2 (%3)").arg(portName, resolution.target, sourceText(resolution));
}

} // namespace PortNameResolver
