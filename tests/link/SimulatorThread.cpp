#include "SimulatorThread.h"

#include "DisplaySimulator.h"

#include <QEventLoop>
#include <QTest>
#include <QTimer>

SimulatorThread::SimulatorThread(const DisplaySimOptions &options)
    : m_thread([this, options] { run(options); })
{
    std::unique_lock lock(m_mutex);
    m_started.wait(lock, [this] { return m_ready; });
}

SimulatorThread::~SimulatorThread()
{
    m_stop = true;
    m_thread.join();
}

void SimulatorThread::run(DisplaySimOptions options)
{
    QEventLoop loop;
    DisplaySimulator simulator(options);
    QObject::connect(&simulator, &DisplaySimulator::logLine, [this](const QString &line) {
        const std::lock_guard lock(m_mutex);
        m_log << line;
    });
    const bool listening = simulator.listen(QHostAddress::LocalHost, 0);
    {
        const std::lock_guard lock(m_mutex);
        m_port = listening ? simulator.serverPort() : 0;
        m_ready = true;
    }
    m_started.notify_all();
    // The stop request is polled, so that no Qt call crosses the threads.
    QTimer stopCheck;
    QObject::connect(&stopCheck, &QTimer::timeout, [this, &loop] {
        if (m_stop)
            loop.quit();
    });
    stopCheck.start(20);
    if (listening)
        loop.exec();
}

QString SimulatorThread::address() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

QStringList SimulatorThread::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

bool SimulatorThread::waitForLine(const QString &start, int timeoutMs) const
{
    return QTest::qWaitFor(
        [this, &start] {
            const QStringList lines = log();
            return std::any_of(lines.begin(), lines.end(),
                               [&start](const QString &line) { return line.startsWith(start); });
        },
        timeoutMs);
}
