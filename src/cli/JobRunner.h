#pragma once

#include "DisplayJob.h"

#include <QList>
#include <QStringList>

class LineMonitor;

// Works many displays at once: one DisplayJob per port, all driven by their
// links' events on this thread, and returns when every one has ended, with
// one result per port in the order given. At most `maxRunning` jobs run at a
// time (each open port costs a few file descriptors); the others wait their
// turn and start as running ones end. A termination signal (SIGINT, SIGTERM)
// meanwhile ends every running job, which closes its port with RTS low, and
// the waiting ones end as cancelled without starting. The wait blocks in the
// event loop and costs no processor time of its own.
namespace JobRunner {

// With `progress`, a line on standard error tells each step of each display.
QList<JobResult> run(const QStringList &ports, const JobPlan &plan, bool progress, int maxRunning);

// The monitor that every display's link records its traffic in (pantrix-cli
// --trace); nullptr, the default, records nothing.
void setLineMonitor(LineMonitor *monitor);
LineMonitor *lineMonitor();

} // namespace JobRunner
