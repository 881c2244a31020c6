#include "DisplaySimulator.h"
#include "SimulatorCommandLine.h"
#include "TerminationSignals.h"

#include <QCoreApplication>
#include <cstdio>

#ifndef Q_OS_WIN
#include "SerialLine.h"
#endif

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stream);
    std::fflush(stream);
}

#ifndef Q_OS_WIN
// The display on a local serial device; the program ends when the device goes away.
int runOnSerialLine(QCoreApplication &app, DisplaySimulator &simulator, const QString &path)
{
    SerialLine line;
    if (!line.open(path)) {
        printLine(stderr, QStringLiteral("pantrix-display-sim: cannot open %1: %2")
                              .arg(path, line.errorString()));
        return 1;
    }
    QObject::connect(&line, &SerialLine::note, &app,
                     [](const QString &text) { printLine(stdout, text); });
    QObject::connect(&line, &SerialLine::dataReceived, &simulator,
                     &DisplaySimulator::receiveFromLocalLine);
    QObject::connect(&line, &SerialLine::rtsChanged, &simulator,
                     &DisplaySimulator::setLocalLineRts);
    QObject::connect(&simulator, &DisplaySimulator::localLineOutput, &line, &SerialLine::sendData);
    int status = 0;
    QObject::connect(&line, &SerialLine::closed, &app, [&](const QString &reason) {
        simulator.endLocalLine(reason);
        status = 1;
        QCoreApplication::quit();
    });
    simulator.startLocalLine(path, line.cts());
    app.exec();
    return status;
}
#endif

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
#ifndef Q_OS_WIN
    if (!commandLine.serialPath().isEmpty())
        return runOnSerialLine(app, simulator, commandLine.serialPath());
#endif
    if (!simulator.listen(commandLine.address(), commandLine.port())) {
        printLine(stderr, QStringLiteral("pantrix-display-sim: cannot listen on %1:%2: %3")
                              .arg(commandLine.address().toString())
                              .arg(commandLine.port())
                              .arg(simulator.errorString()));
        return 1;
    }
    return app.exec();
}
