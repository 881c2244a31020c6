// Start-up of the window against a bare Qt window: the time from starting a
// process until its event loop first waits with the window shown and the
// start-up done, and the process's resident memory at that moment.
//
// Each sample is a process of its own (this program again, with --child), so
// that loading the libraries, the fonts and the plug-ins counts; the two kinds
// alternate so that a busy machine weighs on both alike. Offscreen, in a
// fresh working folder without a language file or default records.
//
// Usage: bench_startup [SAMPLES]     (default 15 of each)
#include "TForm1.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

qint64 monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
    }
    return -1;
}

// The child: shows its window, and when the event loop is first about to
// wait with nothing left to do, prints the moment and its memory and ends.
int child(int argc, char *argv[], bool pantrix)
{
    QApplication application(argc, argv);
    std::unique_ptr<QWidget> window;
    if (pantrix) {
        window = std::make_unique<TForm1>();
    } else {
        auto *bare = new QMainWindow;
        bare->setCentralWidget(new QLabel(QStringLiteral("A bare window")));
        window.reset(bare);
    }
    window->show();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &application, [] {
                         std::printf("%lld %lld\n", monotonicNs(), residentKiB());
                         std::fflush(stdout);
                         std::_Exit(0); // no teardown: only the start-up is measured
                     });
    return application.exec();
}

struct Sample
{
    double ms = 0;
    double mib = 0;
};

Sample run(const QString &kind, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    const qint64 started = monotonicNs();
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), kind});
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        std::fprintf(stderr, "bench_startup: the %s child failed: %s\n", qPrintable(kind),
                     process.readAllStandardError().constData());
        std::exit(1);
    }
    const QList<QByteArray> fields = process.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2) {
        std::fprintf(stderr, "bench_startup: the %s child said nothing\n", qPrintable(kind));
        std::exit(1);
    }
    return {double(fields[0].toLongLong() - started) / 1e6, fields[1].toDouble() / 1024.0};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--child") == 0)
        return child(argc, argv, qstrcmp(argv[2], "pantrix") == 0);

    QCoreApplication application(argc, argv);
    const int samples = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir folder;
    std::vector<double> pantrixMs, bareMs, pantrixMiB, bareMiB;
    // One of each first, not counted: it fills the file cache for both.
    run(QStringLiteral("bare"), folder.path());
    run(QStringLiteral("pantrix"), folder.path());
    for (int i = 0; i < samples; ++i) {
        const Sample bare = run(QStringLiteral("bare"), folder.path());
        const Sample pantrix = run(QStringLiteral("pantrix"), folder.path());
        bareMs.push_back(bare.ms);
        bareMiB.push_back(bare.mib);
        pantrixMs.push_back(pantrix.ms);
        pantrixMiB.push_back(pantrix.mib);
    }
    const double tp = median(pantrixMs), tb = median(bareMs);
    const double mp = median(pantrixMiB), mb = median(bareMiB);
    std::printf("start-up to idle, offscreen, %d interleaved samples each (medians)\n", samples);
    std::printf("  bare Qt window: %7.1f ms  %6.1f MiB resident\n", tb, mb);
    std::printf("  pantrix window: %7.1f ms  %6.1f MiB resident\n", tp, mp);
    std::printf("  ratio:         %7.2f x   %6.2f x   (aims: <= 1.50 x and <= 1.25 x)\n", tp / tb,
                mp / mb);
    return 0;
}
