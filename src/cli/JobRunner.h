#pragma once

#include "DisplayJob.h"

#include <QList>
#include <QStringList>

// Works many displays at once: one DisplayJob per port, all driven by their
// links' events on this thread, and returns when every one has ended. A
// termination signal (SIGINT, SIGTERM) meanwhile ends every job, which closes
// its port with RTS low. The wait blocks in the event loop and costs no
// processor time of its own.
namespace JobRunner {

// With `progress`, a line on standard error tells each step of each display.
QList<JobResult> run(const QStringList &ports, const JobPlan &plan, bool progress);

} // namespace JobRunner
