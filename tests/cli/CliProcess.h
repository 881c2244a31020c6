#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// pantrix-cli run as a process in a folder, as a script runs it, and what it
// left behind: status, both outputs and the JSON objects of its lines.
namespace CliProcess {

inline const QString Program = QStringLiteral(CLI_PROGRAM);

// RS 232, 9600, 8-bit none, "Data <CR>" with function 2, address 012, leading
// 03, comma at position 2, negatives shown, dimming A, timeout 10, blank.
inline const QByteArray ExampleSettings =
    QByteArray::fromHex("1B5A4553314233433050 4F41303132563033 4B324E304441543130310D0A");

struct Run
{
    int status = -1; // -1: it did not end in time, or crashed
    QString out;
    QString err;
    QList<QJsonObject> objects;
};

inline void start(QProcess &process, const QStringList &arguments, const QString &folder)
{
    process.setWorkingDirectory(folder);
    process.start(Program, arguments);
}

// Waits generously: a loaded machine may run the program far slower than usual.
inline Run finish(QProcess &process, int timeoutMs = 120000)
{
    Run run;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(timeoutMs))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8());
        if (document.isObject())
            run.objects << document.object();
    }
    return run;
}

inline Run run(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    start(process, arguments, folder);
    return finish(process);
}

} // namespace CliProcess
