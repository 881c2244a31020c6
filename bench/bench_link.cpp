// The device link against the simulated display on its paced 300 baud line:
// connect, send and read of both records through DisplayLink. For each
// operation it prints the wall time beside the wire time (11 bit times a
// byte, both directions; a connect counts its 500 ms pause and the ACK), the
// ratio of the two, and the processor time this process spent meanwhile (the
// simulator runs as a program of its own, so its time is not counted).
//
// Two passes: the display as it is, whose ENQ every 500 ms may hold up an
// echo by up to one byte when it is on the line just then, and the display
// without ENQ (supervision off), which shows the link's own overhead alone.
// One connect before the runs warms up what a process does only once (the
// first name lookup and socket); its figure is printed apart.
//
// bench_link [RUNS]   (3 runs by default)
#include "DisplayLink.h"
#include "ProcessorTime.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr double ByteMs = 11 * 1000.0 / 300;

const QByteArray Settings =
    QByteArray::fromHex("1B5A45533142334330504F413031325630334B324E30444154313031"
                        "0D0A");
const QByteArray Brightness = QByteArray::fromHex("1B48540106080C1016273246"
                                                  "5A6EA0BEC8D2F00D0A");

struct Figures
{
    QList<double> wallMs;
    double cpuMs = 0;
    bool failed = false;
};

// Times `operation`, which returns whether it ended as it should.
void measure(Figures &figures, const std::function<bool()> &operation)
{
    const double cpu = cpuMs();
    QElapsedTimer wall;
    wall.start();
    const bool ok = operation();
    figures.wallMs << double(wall.nsecsElapsed()) / 1e6;
    figures.cpuMs += cpuMs() - cpu;
    figures.failed = figures.failed || !ok;
}

void report(const char *name, double wireMs, const Figures &figures)
{
    double sum = 0;
    for (double ms : figures.wallMs)
        sum += ms;
    const double worst = *std::max_element(figures.wallMs.begin(), figures.wallMs.end());
    std::printf("%-22s wire %7.1f ms   wall mean %7.1f max %7.1f ms   ratio %5.3f   cpu %5.1f ms "
                "(%4.2f %% of wall)%s\n",
                name, wireMs, sum / figures.wallMs.size(), worst, worst / wireMs, figures.cpuMs,
                100.0 * figures.cpuMs / sum, figures.failed ? "   FAILED" : "");
}

void runPass(const char *title, const QStringList &switches, bool supervise, int runs)
{
    QProcess sim;
    const QString address = startSimulator(sim, switches);
    if (address.isEmpty()) {
        std::fprintf(stderr, "cannot start %s\n", DISPLAY_SIM_PROGRAM);
        return;
    }
    std::printf("\n%s (%s), %d runs\n", title, qPrintable(address), runs);
    {
        DisplayLink warmUp;
        warmUp.setPortName(address);
        Figures first;
        measure(first, [&] { return warmUp.connectDisplay().connected(); });
        report("warm-up connect", DisplayLink::ConnectPauseMs + ByteMs, first);
        warmUp.close();
    }
    Figures connect, sendSettings, sendBrightness, readSettings, readBrightness;
    for (int run = 0; run < runs; ++run) {
        // A new link each run, so that every connect pauses the full 500 ms.
        DisplayLink link;
        link.setPortName(address);
        link.setSupervisionCondition([supervise] { return supervise; });
        measure(connect, [&] { return link.connectDisplay().connected(); });
        measure(sendSettings,
                [&] { return link.sendTelegram(Settings).result == SendOutcome::Result::Echoed; });
        measure(sendBrightness, [&] {
            return link.sendTelegram(Brightness).result == SendOutcome::Result::Echoed;
        });
        measure(readSettings, [&] {
            return link.readTelegram(DisplayLink::Telegram::Settings).result ==
                   ReadOutcome::Result::Done;
        });
        measure(readBrightness, [&] {
            return link.readTelegram(DisplayLink::Telegram::Brightness).result ==
                   ReadOutcome::Result::Done;
        });
        link.close();
    }
    report("connect", DisplayLink::ConnectPauseMs + ByteMs, connect);
    report("send settings", 2 * 30 * ByteMs, sendSettings);
    report("send brightness", 2 * 21 * ByteMs, sendBrightness);
    report("read settings", (5 + 30) * ByteMs, readSettings);
    report("read brightness", (5 + 21) * ByteMs, readBrightness);
    sim.terminate();
    sim.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;
    std::printf("DisplayLink against pantrix-display-sim, paced at 300 baud 8N2 (%.2f ms a byte)\n",
                ByteMs);
    runPass("display with ENQ every 500 ms", {}, true, runs);
    runPass("display without ENQ, supervision off", {"--stop-enq-after", "0"}, false, runs);
    return 0;
}
