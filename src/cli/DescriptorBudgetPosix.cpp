#include "DescriptorBudget.h"

#include <QDir>
#include <algorithm>
#include <sys/resource.h>

namespace DescriptorBudget {

namespace {

// Descriptors kept free for what the program opens besides the ports: the
// record files, the ports map, the signal pipe, Qt's own.
constexpr int Reserve = 32;

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

} // namespace

void raiseOpenFilesLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        // The limit stays; defaultJobs() works within it.
    }
}

int defaultJobs()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return MaxDefaultJobs;
    const auto kept = rlim_t(openDescriptors() + Reserve);
    const rlim_t room = limit.rlim_cur > kept ? limit.rlim_cur - kept : 0;
    return int(std::clamp<rlim_t>(room / PerDisplay, 1, MaxDefaultJobs));
}

} // namespace DescriptorBudget
