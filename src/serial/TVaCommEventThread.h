#pragma once

#include "CommWorkerThread.h"

class CommDevice;
class ReceiveQueue;

// Waits for the line events of the port's event mask and has them handled on
// the main thread, one delivery at a time. While a delivery waits for the main
// thread, the thread keeps reading arriving bytes into the receive queue and
// wakes the main thread, so a handler that waits in a nested event loop for
// more bytes gets them. New bytes are reported once, when they arrive; bytes
// a handler leaves in the queue are not reported again.
//
// A device that goes away is reported once as a line error; then the thread
// idles until it is stopped.
class TVaCommEventThread : public CommWorkerThread
{
public:
    TVaCommEventThread(TVaCustomComm *owner, std::shared_ptr<MainThreadHandover> handover,
                       std::shared_ptr<CommDevice> device, std::shared_ptr<ReceiveQueue> queue,
                       quint32 eventMask);

    ~TVaCommEventThread() override;

    quint32 EventMask() const { return m_eventMask; }
    // Marks the thread terminated and signals Event, which ends any wait.
    void Stop() override;
    int EventsError() const override;

protected:
    void Execute() override;

private:
    quint32 collectEvents();
    void deliver(quint32 events);
    void waitForActivity(bool waitingForHandover);
    void pullInput();

    std::shared_ptr<CommDevice> m_device;
    std::shared_ptr<ReceiveQueue> m_queue;
    const quint32 m_eventMask;
    TVaWaitEvent Event;
    bool m_inputGone = false;
    bool m_inputGoneReported = false;
};
