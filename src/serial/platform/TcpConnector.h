#pragma once

#include "SocketIo.h"

#include <QString>
#include <chrono>

class OpenAbort;

// Opens the TCP connection to a COM port server within a time limit, so that
// an unreachable or unresolvable host cannot hang the window.
//
// The socket comes back non-blocking and not inherited, with Nagle's delay off
// (telegrams are short and the display answers them), and with keep-alive
// probes and a limit on unacknowledged data, so that a network that drops
// without a word is noticed within seconds instead of hours.
namespace TcpConnector {

// A connected socket, or SocketIo::Invalid with errno: ENOENT when the host name is unknown,
// ETIMEDOUT when the time ran out, ECANCELED when `abort` (may be null) was
// tripped, else what connect(2) gave for the last address tried.
SocketIo::Handle connectTo(const QString &host, quint16 port, std::chrono::milliseconds timeout,
                           const OpenAbort *abort = nullptr);

} // namespace TcpConnector
