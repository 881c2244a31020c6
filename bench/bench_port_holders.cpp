// Measures what the search for other holders of a local port adds to its
// open: the component's open of a pseudo-terminal (with the search in /proc)
// against the plain system calls of an open without it, and the search
// alone; then 256 ports opened at once, each on a thread of its own, as
// pantrix-cli opens a fleet. Seven runs, the sides alternated within each;
// the medians count. What /proc holds on this machine is printed beside, as
// the search reads all of it.
#include "PtyPair.h"
#include "platform/CommDevice.h"
#include "platform/PortOpenDiagnosis.h"

#include <QDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Opens = 100;
constexpr int Runs = 7;
constexpr int Fleet = 256;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The open as it was before the search: open, lock, exclusive, close.
void plainOpen(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    tcgetattr(fd, &settings);
    flock(fd, LOCK_EX | LOCK_NB);
    ioctl(fd, TIOCEXCL);
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

template <typename Action> double perOpenMs(Action action)
{
    const auto start = Clock::now();
    for (int i = 0; i < Opens; ++i)
        action();
    return millisecondsSince(start) / Opens;
}

void printProcContents()
{
    int processes = 0;
    int descriptors = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toInt(&isPid);
        if (!isPid)
            continue;
        ++processes;
        descriptors += int(QDir(QStringLiteral("/proc/%1/fd").arg(entry))
                               .entryList(QDir::Files | QDir::System)
                               .size());
    }
    std::printf("/proc: %d processes, %d descriptors readable\n", processes, descriptors);
}

double fleetOpenMs(const std::vector<std::unique_ptr<PtyPair>> &ptys)
{
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<CommDevice>> devices(ptys.size());
    const auto start = Clock::now();
    for (size_t i = 0; i < ptys.size(); ++i)
        threads.emplace_back([&, i] { devices[i] = openCommDevice(ptys[i]->slavePath()); });
    for (std::thread &thread : threads)
        thread.join();
    const double ms = millisecondsSince(start);
    for (const auto &device : devices)
        if (!device)
            std::printf("an open of the fleet failed\n");
    return ms;
}

} // namespace

int main()
{
    printProcContents();
    PtyPair pty;
    if (!pty.isValid()) {
        std::printf("no pseudo-terminal\n");
        return 1;
    }
    const QByteArray path = pty.slavePath().toLocal8Bit();
    std::vector<double> component, plain, search, ratio;
    for (int run = 0; run < Runs; ++run) {
        const double withSearch = perOpenMs([&] {
            if (!openCommDevice(pty.slavePath()))
                std::printf("open failed\n");
        });
        const double without = perOpenMs([&] { plainOpen(path); });
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const double alone = perOpenMs([&] { PortOpenDiagnosis::otherHolders(fd); });
        ::close(fd);
        component.push_back(withSearch);
        plain.push_back(without);
        search.push_back(alone);
        ratio.push_back(withSearch / without);
    }
    std::printf("one open of a pseudo-terminal, median of %d runs of %d:\n", Runs, Opens);
    std::printf("  component open with the search  %.3f ms\n", median(component));
    std::printf("  plain open, lock, exclusive     %.3f ms\n", median(plain));
    std::printf("  the search in /proc alone       %.3f ms\n", median(search));
    std::printf("  ratio component / plain         %.1f\n", median(ratio));

    std::vector<std::unique_ptr<PtyPair>> ptys;
    for (int i = 0; i < Fleet; ++i)
        ptys.push_back(std::make_unique<PtyPair>());
    std::vector<double> fleet;
    for (int run = 0; run < Runs; ++run)
        fleet.push_back(fleetOpenMs(ptys));
    std::printf("%d pseudo-terminals opened at once, a thread each: %.1f ms (median of %d)\n",
                Fleet, median(fleet), Runs);
    return 0;
}
