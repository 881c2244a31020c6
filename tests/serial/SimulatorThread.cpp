#include "SimulatorThread.h"

#include "DisplaySimulator.h"

#include <condition_variable>

SimulatorThread::SimulatorThread(const DisplaySimOptions &options) : m_context(new QObject)
{
    m_context->moveToThread(&m_thread);
    m_thread.start();
    runThere([this, options] {
        m_simulator = new DisplaySimulator(options);
        QObject::connect(
            m_simulator, &DisplaySimulator::logLine, m_simulator,
            [this](const QString &line) {
                const std::lock_guard lock(m_mutex);
                m_log << line;
            },
            Qt::DirectConnection);
        if (m_simulator->listen(QHostAddress::LocalHost, 0))
            m_port = m_simulator->serverPort();
    });
}

SimulatorThread::~SimulatorThread()
{
    stop();
    m_thread.quit();
    m_thread.wait();
    delete m_context;
}

QString SimulatorThread::address() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

void SimulatorThread::runThere(const std::function<void()> &call)
{
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            call();
            const std::lock_guard lock(mutex);
            done = true;
            finished.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
}

LineSettings SimulatorThread::lineSettings()
{
    LineSettings settings;
    runThere([&] { settings = m_simulator ? m_simulator->lineSettings() : LineSettings{}; });
    return settings;
}

bool SimulatorThread::rts()
{
    bool high = false;
    runThere([&] { high = m_simulator && m_simulator->rts(); });
    return high;
}

bool SimulatorThread::hasClient()
{
    bool connected = false;
    runThere([&] { connected = m_simulator && m_simulator->hasClient(); });
    return connected;
}

QByteArray SimulatorThread::settingsRecord()
{
    QByteArray record;
    runThere([&] { record = m_simulator ? m_simulator->settingsRecord() : QByteArray(); });
    return record;
}

QStringList SimulatorThread::log() const
{
    const std::lock_guard lock(m_mutex);
    return m_log;
}

void SimulatorThread::stop()
{
    runThere([this] {
        delete m_simulator;
        m_simulator = nullptr;
    });
}
