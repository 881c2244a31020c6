// Measures what hostile COM port servers cost the serial component while it is
// open on them: the growth of this process's resident memory and the processor
// time it uses. Each server runs in a child process, so the figures are the
// client's alone.
//
// - flood: agrees to the opening, then sends option offers and withdrawals of
//   every option as fast as it can, and never reads.
// - toggler: agrees to the opening, then answers every answer of the client
//   with the opposite, for as long as the client goes on.
//
// Usage: bench_hostile_servers [seconds per server, default 10]
#include "Rfc2217Codec.h"
#include "TVaComm.h"
#include "VaComm1Configuration.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray Greeting = Rfc2217Codec::negotiation(Telnet::DO, Telnet::OptionBinary) +
                            Rfc2217Codec::negotiation(Telnet::WILL, Telnet::OptionBinary) +
                            Rfc2217Codec::negotiation(Telnet::DO, Telnet::OptionComPort);

bool sendAll(int fd, const QByteArray &bytes)
{
    qsizetype at = 0;
    while (at < bytes.size()) {
        const ssize_t sent =
            ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        at += sent;
    }
    return true;
}

void flood(int client)
{
    const int small = 4096;
    setsockopt(client, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    QByteArray offers;
    for (int option = 0; option < 256; ++option) {
        for (const quint8 verb : {Telnet::WILL, Telnet::DO, Telnet::WONT, Telnet::DONT})
            offers += Rfc2217Codec::negotiation(verb, quint8(option));
    }
    while (sendAll(client, offers)) {
    }
}

void toggle(int client)
{
    static const QHash<quint8, quint8> opposite{{Telnet::DO, Telnet::WONT},
                                                {Telnet::DONT, Telnet::WILL},
                                                {Telnet::WILL, Telnet::DONT},
                                                {Telnet::WONT, Telnet::DO}};
    Rfc2217Codec codec;
    sendAll(client, Rfc2217Codec::negotiation(Telnet::WILL, Telnet::OptionSuppressGoAhead) +
                        Rfc2217Codec::negotiation(Telnet::WILL, 1));
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0)
            return;
        QByteArray answers;
        for (const auto &item : codec.feed(QByteArrayView(buffer, got))) {
            if (item.kind == Rfc2217Codec::Item::Kind::Negotiation)
                answers += Rfc2217Codec::negotiation(opposite.value(item.code), item.option);
        }
        if (!sendAll(client, answers))
            return;
    }
}

struct Server
{
    pid_t pid = -1;
    quint16 port = 0;
};

Server startServer(const std::function<void(int)> &behaviour)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client >= 0 && sendAll(client, Greeting))
            behaviour(client);
        ::_exit(0);
    }
    ::close(listener);
    return {pid, ntohs(address.sin_port)};
}

double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double residentMegabytes()
{
    FILE *statm = std::fopen("/proc/self/statm", "r");
    long pages = 0;
    long resident = 0;
    if (statm) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void measure(const char *name, const std::function<void(int)> &behaviour, int seconds)
{
    const Server server = startServer(behaviour);
    if (server.pid < 0) {
        std::printf("%-8s server could not start\n", name);
        return;
    }
    TVaComm comm;
    configureAsVaComm1(comm);
    comm.setDeviceName(QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.port));
    comm.Open();
    const double memoryBefore = residentMegabytes();
    const double cpuBefore = cpuSeconds();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpuUsed = cpuSeconds() - cpuBefore;
    const double memoryAfter = residentMegabytes();
    comm.Close();
    ::kill(server.pid, SIGTERM);
    ::waitpid(server.pid, nullptr, 0);
    std::printf("%-8s %3d s connected: resident %.1f -> %.1f MB, CPU %.2f s (%.1f %%)\n", name,
                seconds, memoryBefore, memoryAfter, cpuUsed, 100.0 * cpuUsed / seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(1, atoi(argv[1])) : 10;
    measure("flood", flood, seconds);
    measure("toggler", toggle, seconds);
    return 0;
}
