#include "JobRunner.h"

#include "TVaComm.h"
#include "TerminationSignals.h"

#include <QEventLoop>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <thread>

namespace JobRunner {

namespace {

LineMonitor *traceMonitor = nullptr;

// The jobs of one run: starts them up to the bound, collects each result at
// its port's place, and deletes ended jobs once none of their code is on the
// stack any more.
class Batch
{
public:
    Batch(const QStringList &ports, const JobPlan &plan, bool progress, int maxRunning)
        : m_ports(ports), m_plan(plan), m_progress(progress), m_maxRunning(std::max(1, maxRunning)),
          m_results(ports.size())
    {
        m_reaper.setInterval(100);
        QObject::connect(&m_reaper, &QTimer::timeout, &m_loop, [this] { reap(); });
    }

    ~Batch()
    {
        for (DisplayJob *job : m_running)
            delete job;
        qDeleteAll(m_ended);
    }

    QList<JobResult> run()
    {
        TerminationSignals termination;
        QObject::connect(&termination, &TerminationSignals::received, &m_loop, [this] { stop(); });
        startMore();
        if (!m_running.isEmpty())
            m_loop.exec();
        return m_results;
    }

private:
    void startMore()
    {
        while (!m_stopping && m_running.size() < m_maxRunning && m_next < m_ports.size())
            start(m_next++);
    }

    void start(qsizetype index)
    {
        auto *job = new DisplayJob(m_ports[index], m_plan);
        m_running << job;
        QObject::connect(job, &DisplayJob::finished, &m_loop,
                         [this, job, index] { onFinished(job, index); });
        if (m_progress)
            QObject::connect(job, &DisplayJob::activityChanged, &m_loop, [this, job] {
                m_err << job->result().port << ": " << job->activity() << "...\n" << Qt::flush;
            });
        job->start();
    }

    void onFinished(DisplayJob *job, qsizetype index)
    {
        m_results[index] = job->result();
        m_running.removeOne(job);
        // Deleted later: the job's own code is still running right now.
        m_ended << job;
        if (!m_reaper.isActive())
            m_reaper.start(0);
        startMore();
        if (m_running.isEmpty())
            m_loop.quit();
    }

    // A signal came: the running jobs end as cancelled, the waiting ones
    // too, without touching their ports.
    void stop()
    {
        m_stopping = true;
        for (; m_next < m_ports.size(); ++m_next) {
            JobResult &result = m_results[m_next];
            result.port = m_ports[m_next];
            result.operation = m_plan.operationName();
            result.outcome = QStringLiteral("failed");
            result.reason = QStringLiteral("cancelled");
            result.error = QStringLiteral("stopped by a signal before it started");
        }
        const QList<DisplayJob *> running = m_running;
        for (DisplayJob *job : running)
            job->abort();
    }

    void reap()
    {
        for (qsizetype i = m_ended.size() - 1; i >= 0; --i) {
            if (!m_ended[i]->isInStep())
                delete m_ended.takeAt(i);
        }
        if (m_ended.isEmpty())
            m_reaper.stop();
        else
            m_reaper.setInterval(100);
    }

    const QStringList &m_ports;
    const JobPlan &m_plan;
    const bool m_progress;
    const int m_maxRunning;
    QList<JobResult> m_results;
    qsizetype m_next = 0;
    bool m_stopping = false;
    QList<DisplayJob *> m_running;
    QList<DisplayJob *> m_ended;
    QEventLoop m_loop;
    QTimer m_reaper;
    QTextStream m_err{stderr};
};

} // namespace

void setLineMonitor(LineMonitor *monitor)
{
    traceMonitor = monitor;
}

LineMonitor *lineMonitor()
{
    return traceMonitor;
}

QList<JobResult> run(const QStringList &ports, const JobPlan &plan, bool progress, int maxRunning)
{
    QList<JobResult> results = Batch(ports, plan, progress, maxRunning).run();
    // The settling pause a port keeps after its close, once for all of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(TVaComm::DefaultPauseAfterCloseMs));
    return results;
}

} // namespace JobRunner
