// pantrix-cli at scale, through the job runner the program uses, against
// paced simulated displays, each a pantrix-display-sim process of its own:
// - read-settings on 256 displays at once against one display: the work is
//   bound by the wire, so the wall time should barely grow (goal: ratio at
//   most 1.10);
// - 2 displays beside 6 servers that never answer the Telnet negotiation (so
//   each of their opens times out) against one display beside one such
//   server: a waiting open must not hold up the displays that answer (goal:
//   ratio at most 1.3).
// The two sides of each comparison run alternately, the same way, without a
// pause before either; every run is printed, then the median of the runs'
// ratios. Argument: the number of runs (default 3).
#include "DescriptorBudget.h"
#include "JobRunner.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ManyDisplays = 256;
constexpr int SilentServers = 6;

// A loopback port that accepts connections (the system completes them) and
// never says a word: an open waits for the Telnet negotiation until it gives up.
class SilentServer
{
public:
    SilentServer()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_fd, 16) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        m_address = QStringLiteral("rfc2217://127.0.0.1:%1").arg(ntohs(address.sin_port));
    }
    ~SilentServer()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    SilentServer(const SilentServer &) = delete;
    SilentServer &operator=(const SilentServer &) = delete;

    QString address() const { return m_address; }

private:
    int m_fd = -1;
    QString m_address;
};

struct Timing
{
    double seconds = 0;
    QString outcomes; // e.g. "2 done, 6 cannot-open"
};

Timing timeJobs(const QStringList &ports, const JobPlan &plan)
{
    QElapsedTimer wall;
    wall.start();
    const QList<JobResult> results =
        JobRunner::run(ports, plan, false, DescriptorBudget::defaultJobs());
    Timing timing{wall.elapsed() / 1000.0, {}};
    QMap<QString, int> counts;
    for (const JobResult &result : results)
        ++counts[result.failed() ? result.reason : result.outcome];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    timing.outcomes = parts.join(QStringLiteral(", "));
    return timing;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs both sides `runs` times, alternating which goes first, and prints each
// run and the median ratio of `larger` to `smaller`.
void compare(const char *title, const std::function<QStringList()> &smaller,
             const std::function<QStringList()> &larger, const JobPlan &plan, int runs, double goal)
{
    std::printf("\n%s\n run  smaller s  larger s  ratio  outcomes (smaller | larger)\n", title);
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        Timing small;
        Timing large;
        if (run % 2 == 0) {
            small = timeJobs(smaller(), plan);
            large = timeJobs(larger(), plan);
        } else {
            large = timeJobs(larger(), plan);
            small = timeJobs(smaller(), plan);
        }
        ratios.push_back(large.seconds / small.seconds);
        std::printf("%4d  %9.2f  %8.2f  %5.3f  %s | %s\n", run + 1, small.seconds, large.seconds,
                    ratios.back(), qPrintable(small.outcomes), qPrintable(large.outcomes));
        std::fflush(stdout);
    }
    const double ratio = median(ratios);
    std::printf("median ratio %.3f (goal at most %.2f: %s)\n", ratio, goal,
                ratio <= goal ? "met" : "not met");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    DescriptorBudget::raiseOpenFilesLimit();
    JobPlan plan;
    plan.kind = JobPlan::Kind::ReadSettings;

    QElapsedTimer starting;
    starting.start();
    std::vector<std::unique_ptr<QProcess>> displays;
    QStringList ports;
    for (int i = 0; i < ManyDisplays; ++i) {
        displays.push_back(std::make_unique<QProcess>());
        const QString address = startSimulator(*displays.back(), {});
        if (address.isEmpty()) {
            std::fprintf(stderr, "simulated display %d did not start\n", i + 1);
            return 1;
        }
        ports << address;
    }
    std::printf("%d paced simulated displays started in %.1f s; %d displays at once by default\n",
                ManyDisplays, starting.elapsed() / 1000.0, DescriptorBudget::defaultJobs());

    compare(
        "read-settings: 1 display (smaller) against 256 displays (larger)",
        [&] { return QStringList{ports.first()}; }, [&] { return ports; }, plan, runs, 1.10);

    // Fresh silent servers for every run, so no connection of an earlier run
    // waits in their queues.
    std::vector<std::unique_ptr<SilentServer>> silent;
    const auto silentPorts = [&silent](int count) {
        silent.clear();
        QStringList addresses;
        for (int i = 0; i < count; ++i) {
            silent.push_back(std::make_unique<SilentServer>());
            addresses << silent.back()->address();
        }
        return addresses;
    };
    compare(
        "read-settings: 1 display beside 1 silent server (smaller) against 2 displays "
        "beside 6 silent servers (larger)",
        [&] { return QStringList{ports[0]} + silentPorts(1); },
        [&] {
            const QStringList quiet = silentPorts(SilentServers);
            return QStringList{ports[0]} + quiet.mid(0, 3) + QStringList{ports[1]} + quiet.mid(3);
        },
        plan, runs, 1.3);

    for (auto &display : displays)
        display->terminate();
    for (auto &display : displays)
        display->waitForFinished(5000);
    return 0;
}
