#pragma once

#include <QString>

// Turns a port name into the path of the device that serves it.
//
// "COMn" names: the environment variable PANTRIX_COM<n> wins when it is set;
// otherwise /dev/ttyUSB<n-1> when that device exists, else /dev/ttyS<n-1>.
// Every other name (an absolute path such as "/dev/pts/3", or a name without a
// mapping) is used as it is.
namespace PortNameResolver {
QString resolve(const QString &portName);
} // namespace PortNameResolver
