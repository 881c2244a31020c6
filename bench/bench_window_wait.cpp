// Processor time the window spends while it waits: for the display's ACK (a
// silent display, 3.5 s), for an echo on the paced 300 baud line (the
// simulated display), and idle while connected. Prints the figures; a
// waiting window should cost next to nothing.
#include "SimulatorProcess.h"
#include "TForm1.h"
#include "UserDialogs.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sys/resource.h>

namespace {

class SilentDialogs : public UserDialogs
{
public:
    void warning(QWidget *, const QString &text) override
    {
        std::printf("  warning: %s\n", qPrintable(text));
    }
    void error(QWidget *, const QString &, const QString &text) override
    {
        std::printf("  error: %s\n", qPrintable(text));
    }
    bool question(QWidget *, const QString &, const QString &) override { return true; }
    QString openFileName(QWidget *, FileDialogSettings &) override { return {}; }
    QString saveFileName(QWidget *, FileDialogSettings &) override { return {}; }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void measure(const char *what, const std::function<void()> &action)
{
    QElapsedTimer wall;
    wall.start();
    const double cpu = cpuSeconds();
    action();
    const double cpuUsed = cpuSeconds() - cpu;
    const double wallUsed = double(wall.elapsed()) / 1000.0;
    std::printf("%-44s wall %6.2f s   cpu %6.3f s   (%4.1f %% of one core)\n", what, wallUsed,
                cpuUsed, 100.0 * cpuUsed / wallUsed);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());

    QProcess silent, display;
    const QString silentAddress = startSimulator(silent, {"--silent"});
    const QString displayAddress = startSimulator(display, {});
    if (silentAddress.isEmpty() || displayAddress.isEmpty()) {
        std::fprintf(stderr, "cannot start %s\n", DISPLAY_SIM_PROGRAM);
        return 1;
    }
    qputenv("PANTRIX_COM1", silentAddress.toLocal8Bit());
    qputenv("PANTRIX_COM2", displayAddress.toLocal8Bit());

    SilentDialogs dialogs;
    TForm1 form(&dialogs);
    form.show();
    QTest::qWait(100); // start-up
    auto &ui = form.ui();

    ui.ComboBox2->chooseAsUser(0);
    measure("connect to a silent display (pause + 3 s)",
            [&] { QTest::mouseClick(ui.Button9, Qt::LeftButton); });
    ui.ComboBox2->chooseAsUser(1);
    measure("connect to the simulated display",
            [&] { QTest::mouseClick(ui.Button9, Qt::LeftButton); });
    for (RadioGroup *group : {ui.RadioGroup5, ui.RadioGroup6, ui.RadioGroup7})
        group->setItemIndex(0);
    measure("send settings, echo at 300 baud",
            [&] { QTest::mouseClick(ui.Button6, Qt::LeftButton); });
    measure("read settings at 300 baud", [&] { QTest::mouseClick(ui.Button11, Qt::LeftButton); });
    measure("connected and idle, 5 s (ENQ every 500 ms)", [&] { QTest::qWait(5000); });
    std::printf("connected at the end: %s\n", form.connected() ? "yes" : "no");
    for (QProcess *sim : {&silent, &display}) {
        sim->terminate();
        sim->waitForFinished();
    }
    return 0;
}
