#include "SerialDevices.h"

#include <QStringList>

namespace SerialDevices {

QString Device::description() const
{
    // "FTDI" and "FTDI FT232R USB UART" make "FTDI FT232R USB UART", not the name twice.
    QString name = product;
    if (!manufacturer.isEmpty() && !product.startsWith(manufacturer, Qt::CaseInsensitive))
        name = product.isEmpty() ? manufacturer : manufacturer + u' ' + product;
    if (name.isEmpty())
        name = QStringLiteral("Serial port");
    QStringList details;
    if (!driver.isEmpty())
        details << driver;
    if (!vendorId.isEmpty() && !productId.isEmpty())
        details << vendorId + u':' + productId;
    if (details.isEmpty())
        return name;
    return QStringLiteral("%1 (%2)").arg(name, details.join(QStringLiteral(", ")));
}

} // namespace SerialDevices
