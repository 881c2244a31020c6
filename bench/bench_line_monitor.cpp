// The line monitor's cost. First a send/read cycle of the settings record
// (send with echo, then read) through one connected DisplayLink against the
// fast simulated display, three ways: no monitor attached, a monitor (its
// ring only, as the window uses it) and a monitor writing a trace file (as
// pantrix-cli --trace). The three sides take turns within each round, each
// a batch of cycles; the medians of wall and processor time per cycle are
// printed with their ratio to the side without a monitor.
//
// Then received traffic as fast as it comes, in chunks of 3 bytes as a
// display's reply arrives, for 5 s into a monitor alone and into one that a
// shown LineMonitorWindow follows (offscreen), processing events after every
// chunk: the chunks a second, and the passes of the event loop, whose
// longest is how long the window could not answer.
//
// bench_line_monitor [ROUNDS]   (30 rounds of 10 cycles a side by default)
#include "DisplayLink.h"
#include "LineMonitor.h"
#include "LineMonitorWindow.h"
#include "ProcessorTime.h"
#include "SimulatorProcess.h"
#include "UserDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

constexpr int CyclesPerBatch = 10;

const QByteArray Settings =
    QByteArray::fromHex("1B5A45533142334330504F413031325630334B324E30444154313031"
                        "0D0A");

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

struct Side
{
    const char *name;
    LineMonitor *monitor;
    QList<double> wallMs{}; // per cycle, one value a batch
    QList<double> cpuMs{};
    bool failed = false;
};

bool cycle(DisplayLink &link)
{
    return link.sendTelegram(Settings).result == SendOutcome::Result::Echoed &&
           link.readTelegram(DisplayLink::Telegram::Settings).result == ReadOutcome::Result::Done;
}

void measureCycles(int rounds)
{
    QProcess sim;
    const QString address = startSimulator(sim, {"--fast", "--stop-enq-after", "0"});
    if (address.isEmpty()) {
        std::fprintf(stderr, "cannot start %s\n", DISPLAY_SIM_PROGRAM);
        return;
    }
    QTemporaryDir dir;
    QFile trace(dir.filePath(QStringLiteral("trace.txt")));
    if (!trace.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(trace.fileName()));
        return;
    }
    LineMonitor ring;
    LineMonitor traced;
    traced.setSink(&trace);
    DisplayLink link;
    link.setPortName(address);
    link.setSupervisionCondition([] { return false; });
    if (!link.connectDisplay().connected()) {
        std::fprintf(stderr, "cannot connect to %s\n", qPrintable(address));
        return;
    }
    Side sides[] = {{"no monitor", nullptr}, {"monitor", &ring}, {"monitor + trace file", &traced}};
    for (int round = 0; round < rounds; ++round) {
        for (Side &side : sides) {
            link.setLineMonitor(side.monitor);
            const double cpu = cpuMs();
            QElapsedTimer wall;
            wall.start();
            for (int i = 0; i < CyclesPerBatch; ++i)
                side.failed = !cycle(link) || side.failed;
            side.wallMs << double(wall.nsecsElapsed()) / 1e6 / CyclesPerBatch;
            side.cpuMs << (cpuMs() - cpu) / CyclesPerBatch;
        }
    }
    link.setLineMonitor(nullptr);
    link.close();
    std::printf("send/read cycle of the settings record against the fast simulator (%s),\n"
                "%d rounds of %d cycles a side, median per cycle:\n",
                qPrintable(address), rounds, CyclesPerBatch);
    const double wall0 = median(sides[0].wallMs);
    const double cpu0 = median(sides[0].cpuMs);
    for (const Side &side : sides)
        std::printf("  %-22s wall %6.3f ms (ratio %5.3f)   cpu %6.3f ms (ratio %5.3f)%s\n",
                    side.name, median(side.wallMs), median(side.wallMs) / wall0, median(side.cpuMs),
                    median(side.cpuMs) / cpu0, side.failed ? "   FAILED" : "");
    std::printf("  entries: ring %lld (%lld bytes counted), trace file %lld bytes\n",
                qlonglong(ring.count()), qlonglong(ring.usedBytes()), qlonglong(trace.size()));
    sim.terminate();
    sim.waitForFinished();
}

// Records received traffic for `seconds` as fast as it comes (3 bytes a
// chunk, 30 bytes a reply, each followed by a note), processing events after
// each chunk, so that the ring fills and then drops its oldest all the while.
void recordTraffic(const char *name, LineMonitor &monitor, double seconds)
{
    const QByteArray chunk("\x1bZE", 3);
    QElapsedTimer all;
    all.start();
    QList<double> passesMs;
    qsizetype chunks = 0;
    for (; all.elapsed() < seconds * 1000; ++chunks) {
        monitor.record(QStringLiteral("COM1"), LineMonitor::Direction::In,
                       QStringLiteral("settings reply"), chunk);
        if (chunks % 10 == 9)
            monitor.record(QStringLiteral("COM1"), LineMonitor::Direction::Note,
                           QStringLiteral("reply complete"));
        QElapsedTimer pass;
        pass.start();
        QCoreApplication::processEvents();
        passesMs << double(pass.nsecsElapsed()) / 1e6;
    }
    const double ms = double(all.nsecsElapsed()) / 1e6;
    std::sort(passesMs.begin(), passesMs.end());
    std::printf("  %-26s %8lld chunks (%5.1f KiB/s): %5.2f us a chunk; event-loop passes: "
                "99.9 %% within %6.2f ms, longest %6.2f ms; %lld entries kept\n",
                name, qlonglong(chunks), 3.0 * double(chunks) / 1024 / (ms / 1000),
                1000.0 * ms / double(chunks), passesMs[qsizetype(double(passesMs.size()) * 0.999)],
                passesMs.last(), qlonglong(monitor.count()));
}

void measureWindow(double seconds)
{
    std::printf("\nreceived traffic as fast as it comes, %.0f s a side (the 64 KiB ring fills, "
                "then drops its oldest):\n",
                seconds);
    {
        LineMonitor monitor;
        recordTraffic("monitor alone", monitor, seconds);
    }
    {
        LineMonitor monitor;
        DesktopDialogs dialogs;
        LineMonitorWindow window(&monitor, dialogs);
        window.resize(900, 500);
        window.show();
        recordTraffic("monitor in a shown window", monitor, seconds);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 30;
    measureCycles(rounds);
    measureWindow(5);
    return 0;
}
