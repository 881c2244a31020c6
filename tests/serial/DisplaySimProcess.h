#pragma once

#include <QProcess>
#include <QStringList>

// The simulated display as a program of its own (pantrix-display-sim) on a
// free loopback port, as a display server on the network would be: opening a
// port waits on the test thread for the server's answers, so the server must
// not need that thread. What the display does is read from its log lines,
// which arrive while the test waits in the event loop.
class DisplaySimProcess
{
public:
    // `options`: the simulator's switches besides --listen, e.g. {"--fast"}.
    explicit DisplaySimProcess(const QStringList &options);
    ~DisplaySimProcess();

    bool isListening() const { return m_port != 0; }
    QString address() const;

    // The log lines so far.
    QStringList log();
    int count(const QString &lineStart);
    // Waits, serving events, until `count` lines starting with `lineStart` were logged.
    bool waitForLines(const QString &lineStart, int count = 1, int timeoutMs = 3000);

    // Ends the simulator as SIGTERM does: its connection closes, its port too.
    void stop();

private:
    void takeOutput();

    QProcess m_process;
    quint16 m_port = 0;
    QByteArray m_partial;
    QStringList m_log;
};
