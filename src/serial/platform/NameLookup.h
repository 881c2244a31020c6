#pragma once

#include <QByteArray>
#include <chrono>
#include <memory>

struct addrinfo;
class OpenAbort;

// Looks up a host name for a connection that must not wait longer than its
// deadline. getaddrinfo(3) cannot be cancelled, so each lookup runs on a
// thread of its own that may outlive the wait for it; to keep a hung
// resolver from piling up threads, at most MaxRunning lookups run at once
// (a further one waits for a free place within its own deadline). At the
// program's end, lookups still running are waited for until the latest of
// their deadlines at most, so none runs into the teardown of the C library.
namespace NameLookup {

constexpr int MaxRunning = 8;

using AddressList = std::unique_ptr<addrinfo, void (*)(addrinfo *)>;

// The addresses (stream sockets) of `host` for `service`, or null with errno:
// ENOENT for an unknown name, ETIMEDOUT when the deadline passed, ECANCELED
// when `abort` (may be null) was tripped, EHOSTUNREACH for a resolver failure.
AddressList resolve(const QByteArray &host, const QByteArray &service,
                    std::chrono::steady_clock::time_point end, const OpenAbort *abort);

// Lookup threads running now.
int running();

} // namespace NameLookup
