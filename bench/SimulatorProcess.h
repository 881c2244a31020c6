#pragma once

#include <QProcess>
#include <QStringList>

// Starts pantrix-display-sim on a free loopback port with the given switches
// and returns its rfc2217:// address, or an empty text when it did not start.
// The program's path comes from DISPLAY_SIM_PROGRAM, set by the build.
inline QString startSimulator(QProcess &sim, const QStringList &switches)
{
    sim.start(QStringLiteral(DISPLAY_SIM_PROGRAM),
              QStringList{"--listen", "127.0.0.1:0"} + switches);
    if (!sim.waitForStarted() || !sim.waitForReadyRead(5000))
        return {};
    const QString line = QString::fromLocal8Bit(sim.readLine()).trimmed();
    return QStringLiteral("rfc2217://") + line.section(u' ', -1);
}
