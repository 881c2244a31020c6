#include "JobRunner.h"

#include "TVaComm.h"
#include "TerminationSignals.h"

#include <QEventLoop>
#include <QTextStream>
#include <thread>

namespace JobRunner {

QList<JobResult> run(const QStringList &ports, const JobPlan &plan, bool progress)
{
    QEventLoop loop;
    QList<DisplayJob *> jobs;
    int running = int(ports.size());
    QTextStream err(stderr);
    for (const QString &port : ports) {
        auto *job = new DisplayJob(port, plan, &loop);
        jobs << job;
        QObject::connect(job, &DisplayJob::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
        if (progress)
            QObject::connect(job, &DisplayJob::activityChanged, &loop, [job, &err] {
                err << job->result().port << ": " << job->activity() << "...\n" << Qt::flush;
            });
    }
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &loop, [&jobs] {
        for (DisplayJob *job : jobs)
            job->abort();
    });
    for (DisplayJob *job : jobs)
        job->start();
    if (running > 0)
        loop.exec();
    QList<JobResult> results;
    for (DisplayJob *job : jobs)
        results << job->result();
    qDeleteAll(jobs);
    // The settling pause a port keeps after its close, once for all of them.
    std::this_thread::sleep_for(std::chrono::milliseconds(TVaComm::DefaultPauseAfterCloseMs));
    return results;
}

} // namespace JobRunner
