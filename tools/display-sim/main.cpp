#include "DisplaySimulator.h"
#include "SimulatorCommandLine.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const SimulatorCommandLine commandLine = SimulatorCommandLine::parse(app.arguments());
    if (!commandLine.error().isEmpty()) {
        printLine(stderr,
                  QStringLiteral("pantrix-display-sim: %1\nTry --help.").arg(commandLine.error()));
        return 2;
    }
    if (commandLine.helpRequested()) {
        std::fputs(commandLine.helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (commandLine.versionRequested()) {
        printLine(stdout, QStringLiteral("pantrix-display-sim " PANTRIX_VERSION));
        return 0;
    }

    TerminationSignals termination;
    if (!termination.isActive())
        printLine(stderr,
                  "pantrix-display-sim: cannot catch SIGINT/SIGTERM: " + termination.errorString());
    QObject::connect(&termination, &TerminationSignals::received, &app, [](int signalNumber) {
        printLine(stdout, QStringLiteral("signal %1: stopping").arg(signalNumber));
        QCoreApplication::quit();
    });

    DisplaySimulator simulator(commandLine.options());
    QObject::connect(&simulator, &DisplaySimulator::logLine, &app,
                     [](const QString &line) { printLine(stdout, line); });
    if (!simulator.listen(commandLine.address(), commandLine.port())) {
        printLine(stderr, QStringLiteral("pantrix-display-sim: cannot listen on %1:%2: %3")
                              .arg(commandLine.address().toString())
                              .arg(commandLine.port())
                              .arg(simulator.errorString()));
        return 1;
    }
    return app.exec();
}
