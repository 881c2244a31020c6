#include "EventLoopWait.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace EventLoopWait {

void until(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace EventLoopWait
