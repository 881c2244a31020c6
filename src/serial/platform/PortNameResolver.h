#pragma once

#include <QString>

// Turns a port name into the target that serves it: a device path or an
// rfc2217://HOST:PORT address of a COM port server.
//
// "COMn" names (any case, n from 1), first match wins:
// 1. the environment variable PANTRIX_COM<n>, when set and not empty;
// 2. the line "COMn=target" of the ports file (see PortsMap::filePath());
// 3. the built-in default: /dev/ttyUSB<n-1> when that device exists, else
//    /dev/ttyS<n-1>; on Windows the port itself, \\.\COMn.
// Every other name (an absolute path such as "/dev/pts/3", or a name that is no
// "COMn") is used as it is.
//
// Network targets come only from what the user named (the environment or the
// ports file); the built-in default always is a local device.
namespace PortNameResolver {

enum class Source
{
    AsGiven,
    Environment,
    PortsFile,
    BuiltInDefault
};

struct Resolution
{
    QString target;
    Source source = Source::AsGiven;
    // The environment variable or the ports file the target came from.
    QString origin;
};

Resolution lookup(const QString &portName);
QString resolve(const QString &portName);

// One line for the tooltip of a port choice: the target and where it came
// from, e.g. "COM3: rfc2217://127.0.0.1:7020 (environment variable PANTRIX_COM3)".
QString describe(const QString &portName);

} // namespace PortNameResolver
