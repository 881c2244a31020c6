// apply on 1, 4 and 16 simulated displays at once, each a pantrix-display-sim
// process paced at 300 baud on its own RFC 2217 port: the wall time per count,
// its ratio to one display (the work is bound by the wire, so it should barely
// grow), and this process's processor time per display.
#include "DescriptorBudget.h"
#include "JobRunner.h"
#include "SimulatorProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <ctime>

namespace {

// Records that differ from what a simulated display starts with, so that
// every apply reads, sends and reads back both of them.
SettingsTelegram::Bytes settingsRecord()
{
    const QByteArray bytes("\x1bZES0B4C1P5A123V02K1N1DAT991\r\n", 30);
    SettingsTelegram::Bytes record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return record;
}

BrightnessTelegram::Bytes brightnessRecord()
{
    BrightnessTelegram::Bytes record{0x1b, 'H', 'T'};
    for (int i = 0; i < BrightnessTelegram::ValueCount; ++i)
        record[BrightnessTelegram::FirstValueOffset + i] = std::uint8_t(200 + i);
    record[19] = '\r';
    record[20] = '\n';
    return record;
}

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    JobPlan plan;
    plan.kind = JobPlan::Kind::Apply;
    plan.settings = settingsRecord();
    plan.brightness = brightnessRecord();

    std::printf("displays  wall s  ratio to 1  cpu ms/display  outcomes\n");
    double single = 0;
    for (const int count : {1, 4, 16}) {
        std::vector<std::unique_ptr<QProcess>> displays;
        QStringList ports;
        for (int i = 0; i < count; ++i) {
            displays.push_back(std::make_unique<QProcess>());
            const QString address = startSimulator(*displays.back(), {});
            if (address.isEmpty()) {
                std::fprintf(stderr, "the simulated display did not start\n");
                return 1;
            }
            ports << address;
        }
        QElapsedTimer wall;
        const double cpuBefore = processSeconds();
        wall.start();
        const QList<JobResult> results =
            JobRunner::run(ports, plan, false, DescriptorBudget::defaultJobs());
        const double seconds = wall.elapsed() / 1000.0;
        const double cpuMs = (processSeconds() - cpuBefore) * 1000.0 / count;
        if (count == 1)
            single = seconds;
        QStringList outcomes;
        for (const JobResult &result : results)
            if (!outcomes.contains(result.outcome + u' ' + result.reason))
                outcomes << result.outcome + u' ' + result.reason;
        std::printf("%8d  %6.2f  %10.3f  %14.1f  %s\n", count, seconds, seconds / single, cpuMs,
                    qPrintable(outcomes.join(u',')));
        for (auto &display : displays) {
            display->terminate();
            display->waitForFinished(5000);
        }
    }
    return 0;
}
