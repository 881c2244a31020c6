// Measures the serial component on a pseudo-terminal against plain system
// calls on another one: bytes per second through ReadBuf and WriteBuf, and
// the delay from a byte written by the device to OnRxChar running on the
// main thread. Each rate is compared over five runs of three alternating
// transfers; the median ratio counts.
#include "PtyPair.h"
#include "TVaComm.h"
#include "VaComm1Configuration.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int TransferBytes = 4 << 20;
constexpr int LatencySamples = 400;

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QByteArray payload(int size)
{
    QByteArray bytes(size, 'x');
    for (int i = 0; i < size; ++i)
        bytes[i] = char('A' + i % 26);
    return bytes;
}

int openSlave(const PtyPair &pty)
{
    const int fd =
        ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    return fd;
}

void openComm(TVaComm &comm, const PtyPair &pty)
{
    configureAsVaComm1(comm);
    comm.setDeviceName(pty.slavePath());
    // The pause lets a real line settle after Close; here it would only leave
    // the machine idle right before the next plain loop and favour that loop.
    comm.setPauseAfterClose(0);
    comm.Open();
}

// The device sends; the reader on the other side takes everything.
double plainReadRate()
{
    PtyPair pty;
    const int slave = openSlave(pty);
    const QByteArray data = payload(TransferBytes);
    std::thread device([&] { pty.send(data); });
    const auto start = Clock::now();
    std::vector<char> buffer(4096);
    int total = 0;
    while (total < TransferBytes) {
        pollfd descriptor{slave, POLLIN, 0};
        ::poll(&descriptor, 1, 100);
        const ssize_t n = ::read(slave, buffer.data(), buffer.size());
        if (n > 0)
            total += int(n);
    }
    const double rate = total / seconds(start);
    device.join();
    ::close(slave);
    return rate;
}

double readBufRate()
{
    PtyPair pty;
    TVaComm comm;
    openComm(comm, pty);
    const QByteArray data = payload(TransferBytes);
    std::thread device([&] { pty.send(data); });
    const auto start = Clock::now();
    std::vector<char> buffer(4096);
    int total = 0;
    while (total < TransferBytes) {
        const int n = comm.ReadBuf(buffer.data(), int(buffer.size()));
        if (n > 0)
            total += n;
        else
            QEventLoop().processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double rate = total / seconds(start);
    device.join();
    comm.Close();
    return rate;
}

double plainWriteRate()
{
    PtyPair pty;
    const int slave = openSlave(pty);
    const QByteArray data = payload(TransferBytes);
    const auto start = Clock::now();
    std::thread device([&] { pty.receive(TransferBytes, 60000); });
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::write(slave, data.constData() + sent,
                                  size_t(qMin<qsizetype>(256, data.size() - sent)));
        if (n > 0) {
            sent += n;
        } else {
            pollfd descriptor{slave, POLLOUT, 0};
            ::poll(&descriptor, 1, 100);
        }
    }
    device.join();
    const double rate = TransferBytes / seconds(start);
    ::close(slave);
    return rate;
}

double writeBufRate()
{
    PtyPair pty;
    TVaComm comm;
    openComm(comm, pty);
    const QByteArray data = payload(TransferBytes);
    const auto start = Clock::now();
    std::thread device([&] { pty.receive(TransferBytes, 60000); });
    // Like the plain loop, this one does nothing but write: the write thread
    // keeps the queue moving without the event loop.
    for (qsizetype sent = 0; sent < data.size(); sent += 256) {
        comm.WriteBuf(data.constData() + sent, int(qMin<qsizetype>(256, data.size() - sent)));
    }
    device.join();
    const double rate = TransferBytes / seconds(start);
    comm.Close();
    return rate;
}

struct Latency
{
    double median;
    double p99;
};

Latency summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// The device writes one byte at a time, each after the previous one was seen.
template <typename WaitForByte> Latency measureLatency(PtyPair &pty, WaitForByte waitForByte)
{
    std::vector<double> samples;
    for (int i = 0; i < LatencySamples; ++i) {
        std::atomic<bool> sent{false};
        Clock::time_point sentAt;
        std::thread device([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(500));
            sentAt = Clock::now();
            pty.send("A");
            sent = true;
        });
        const Clock::time_point seenAt = waitForByte();
        device.join();
        samples.push_back(std::chrono::duration<double, std::micro>(seenAt - sentAt).count());
    }
    return summarise(samples);
}

Latency plainPollLatency()
{
    PtyPair pty;
    const int slave = openSlave(pty);
    const Latency result = measureLatency(pty, [&] {
        char byte;
        for (;;) {
            pollfd descriptor{slave, POLLIN, 0};
            ::poll(&descriptor, 1, -1);
            if (::read(slave, &byte, 1) == 1)
                return Clock::now();
        }
    });
    ::close(slave);
    return result;
}

Latency rxCharLatency()
{
    PtyPair pty;
    TVaComm comm;
    Clock::time_point handled;
    bool seen = false;
    comm.setOnRxChar([&](QObject *, int) {
        handled = Clock::now();
        char byte;
        seen = comm.ReadChar(byte);
    });
    openComm(comm, pty);
    const Latency result = measureLatency(pty, [&] {
        seen = false;
        while (!seen)
            QEventLoop().processEvents(QEventLoop::WaitForMoreEvents);
        return handled;
    });
    comm.Close();
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Each run alternates the two loops a few times and compares their totals:
// on a shared machine single transfers scatter widely, and alternating lets
// both sides see the same spells of load. The median of the runs' ratios is
// the figure that counts.
template <typename Component, typename Plain>
void compareRates(const char *name, const char *what, const char *plainWhat, Component component,
                  Plain plain)
{
    constexpr int Runs = 5;
    constexpr int RoundsPerRun = 3;
    const double mega = 1024.0 * 1024.0;
    std::vector<double> ratios;
    for (int run = 1; run <= Runs; ++run) {
        double plainSeconds = 0;
        double componentSeconds = 0;
        double plainCpu = 0;
        double componentCpu = 0;
        for (int round = 0; round < RoundsPerRun; ++round) {
            const double plainStart = processCpuSeconds();
            plainSeconds += TransferBytes / plain();
            const double componentStart = processCpuSeconds();
            componentSeconds += TransferBytes / component();
            componentCpu += processCpuSeconds() - componentStart;
            plainCpu += componentStart - plainStart;
        }
        const double bytes = double(TransferBytes) * RoundsPerRun;
        ratios.push_back(plainSeconds / componentSeconds);
        // CPU time of the whole process (both ends of the line), less
        // disturbed by other load on the machine than the rates are.
        std::printf("%s run %d: %s %.1f MiB/s, %s %.1f MiB/s, ratio %.2f; CPU %.0f ms vs %.0f "
                    "ms\n",
                    name, run, what, bytes / componentSeconds / mega, plainWhat,
                    bytes / plainSeconds / mega, ratios.back(), componentCpu * 1000,
                    plainCpu * 1000);
        std::fflush(stdout);
    }
    std::printf("%s: median ratio of %d runs %.2f\n", name, Runs, median(ratios));
}

} // namespace

// Arguments pick parts: "read", "write", "latency"; none runs all three.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList parts = app.arguments().mid(1);
    auto wanted = [&](const char *part) {
        return parts.isEmpty() || parts.contains(QLatin1String(part));
    };

    if (wanted("read"))
        compareRates("read", "ReadBuf", "plain read loop", readBufRate, plainReadRate);
    if (wanted("write"))
        compareRates("write", "WriteBuf", "plain write loop", writeBufRate, plainWriteRate);

    if (wanted("latency")) {
        const Latency plain = plainPollLatency();
        const Latency component = rxCharLatency();
        std::printf("byte to OnRxChar: median %.0f us, p99 %.0f us; plain poll wake-up: median "
                    "%.0f us, p99 %.0f us (%d samples)\n",
                    component.median, component.p99, plain.median, plain.p99, LatencySamples);
    }
    return 0;
}
