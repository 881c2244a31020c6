#include "PortNameResolver.h"

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

} // namespace

QString resolve(const QString &portName)
{
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    const int number = comNumber(portName);
    if (number == 0)
        return portName;

    const QByteArray override = qgetenv(QStringLiteral("PANTRIX_COM%1").arg(number).toLatin1());
    if (!override.isEmpty())
        return QString::fromLocal8Bit(override);

    const QString usbAdapter = QStringLiteral("/dev/ttyUSB%1").arg(number - 1);
    if (QFileInfo::exists(usbAdapter))
        return usbAdapter;
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
}

} // namespace PortNameResolver
