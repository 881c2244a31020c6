#include "FakeComPortServer.h"

#include "Rfc2217Codec.h"

#include <QElapsedTimer>
#include <QString>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int AcceptTimeoutMs = 10000;
constexpr int ReceiveBufferSize = 8192;

bool readable(int fd, int timeoutMs)
{
    pollfd descriptor{fd, POLLIN, 0};
    return ::poll(&descriptor, 1, timeoutMs) > 0;
}

} // namespace

QByteArray FakeComPortServer::agreeingGreeting()
{
    return Rfc2217Codec::negotiation(Telnet::DO, Telnet::OptionBinary) +
           Rfc2217Codec::negotiation(Telnet::WILL, Telnet::OptionBinary) +
           Rfc2217Codec::negotiation(Telnet::DO, Telnet::OptionComPort);
}

FakeComPortServer::FakeComPortServer(const QByteArray &greeting, bool hangUp,
                                     const QByteArray &repeated)
    : m_greeting(greeting), m_hangUp(hangUp), m_repeated(repeated)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    // A small receive buffer lets a client fill the connection quickly.
    const int bufferSize = ReceiveBufferSize;
    if (fd >= 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    m_listener = fd;
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptClient(); });
}

FakeComPortServer::~FakeComPortServer()
{
    m_stopping = true;
    if (m_acceptor.joinable())
        m_acceptor.join();
    closeClient();
    if (m_listener >= 0)
        ::close(m_listener);
}

QString FakeComPortServer::address() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

void FakeComPortServer::acceptClient()
{
    if (!readable(m_listener, AcceptTimeoutMs))
        return;
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    if (!m_greeting.isEmpty())
        ::send(client, m_greeting.constData(), size_t(m_greeting.size()), MSG_NOSIGNAL);
    if (!m_repeated.isEmpty())
        sendRepeatedly(client);
    if (m_hangUp)
        ::close(client);
    else
        m_client = client;
}

void FakeComPortServer::sendRepeatedly(int client)
{
    QByteArray block;
    while (block.size() < 4096)
        block += m_repeated;
    // A cut send goes on where it stopped, so the stream stays whole units.
    qsizetype offset = 0;
    while (!m_stopping) {
        pollfd descriptor{client, POLLOUT, 0};
        if (::poll(&descriptor, 1, 50) <= 0)
            continue;
        const ssize_t sent = ::send(client, block.constData() + offset,
                                    size_t(block.size() - offset), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0 && errno != EAGAIN)
            return;
        if (sent > 0)
            offset = (offset + sent) % block.size();
    }
}

bool FakeComPortServer::waitForClient()
{
    // The thread ends by itself once a client came or its own wait ran out.
    if (m_acceptor.joinable())
        m_acceptor.join();
    return m_client >= 0;
}

QByteArray FakeComPortServer::receive(int quietMs)
{
    QByteArray received;
    char chunk[4096];
    while (m_client >= 0 && readable(m_client, quietMs)) {
        const ssize_t got = ::recv(m_client, chunk, sizeof chunk, 0);
        if (got <= 0)
            break;
        received.append(chunk, got);
    }
    return received;
}

QByteArray FakeComPortServer::receiveExactly(int count, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (m_client >= 0 && received.size() < count) {
        const int left = timeoutMs - int(timer.elapsed());
        if (left <= 0 || !readable(m_client, left))
            break;
        char chunk[4096];
        const size_t wanted = qMin<size_t>(sizeof chunk, size_t(count - received.size()));
        const ssize_t got = ::recv(m_client, chunk, wanted, 0);
        if (got <= 0)
            break;
        received.append(chunk, got);
    }
    return received;
}

bool FakeComPortServer::send(const QByteArray &bytes)
{
    return m_client >= 0 && ::send(m_client, bytes.constData(), size_t(bytes.size()),
                                   MSG_NOSIGNAL) == ssize_t(bytes.size());
}

void FakeComPortServer::closeClient()
{
    if (m_client >= 0)
        ::close(m_client);
    m_client = -1;
}
