#include "TVaCommEventThread.h"

#include "ReceiveQueue.h"
#include "TVaCustomComm.h"
#include "platform/CommDevice.h"


namespace {

constexpr quint32 InputEvents = CommEvent::RxChar | CommEvent::RxFlag | CommEvent::Rx80Full;

} // namespace

TVaCommEventThread::TVaCommEventThread(TVaCustomComm *owner,
                                       std::shared_ptr<MainThreadHandover> handover,
                                       std::shared_ptr<CommDevice> device,
                                       std::shared_ptr<ReceiveQueue> queue, quint32 eventMask)
    : CommWorkerThread(owner, std::move(handover)), m_device(std::move(device)),
      m_queue(std::move(queue)), m_eventMask(eventMask)
{}

TVaCommEventThread::~TVaCommEventThread()
{
    Stop();
    JoinStopped();
}

int TVaCommEventThread::EventsError() const
{
    if (const int error = CommWorkerThread::EventsError())
        return error;
    return FirstEventError({&Event, &m_queue->ChangedEvent()});
}

void TVaCommEventThread::Stop()
{
    MarkTerminated();
    Event.Signal();
}

void TVaCommEventThread::Execute()
{
    while (!Terminated()) {
        // Reset before looking, so a change made after the look still wakes the wait.
        m_queue->ChangedEvent().Reset();
        const quint32 events = collectEvents();
        if (events != 0)
            deliver(events);
        else
            waitForActivity(false);
    }
}

quint32 TVaCommEventThread::collectEvents()
{
    quint32 events = m_queue->TakeArrivals();
    if (m_device->lineEventInterval() > 0)
        events |= m_device->sampleLineEvents();
    if (m_inputGone && !m_inputGoneReported) {
        m_inputGoneReported = true;
        events |= CommEvent::Error;
    }
    return events & m_eventMask;
}

void TVaCommEventThread::deliver(quint32 events)
{
    auto *owner = Owner;
    auto stopped = StopFlag();
    const auto request = HandOver([owner, events, stopped] {
        if (events & CommEvent::RxChar)
            owner->HandleRxChar();
        // A handler may have closed the port, or destroyed the component.
        const quint32 others = events & ~CommEvent::RxChar;
        if (others != 0 && !stopped->load())
            owner->HandleEvents(others);
    });
    while (!HandoverFinished(request)) {
        if (Terminated()) {
            Withdraw(request);
            return;
        }
        m_queue->ChangedEvent().Reset();
        waitForActivity(true);
    }
}

// One wait for whatever can happen next: a stop, the end of a handover, room
// in the receive queue, input or a hang-up on the device, or the time to
// sample the modem lines.
void TVaCommEventThread::waitForActivity(bool waitingForHandover)
{
    // A full queue leaves the bytes in the device until a read makes room, and
    // so does a device that pauses its input.
    const int pause = m_device->inputPauseMs();
    WaitItem device;
    if (!m_inputGone && !m_queue->Full() && pause == 0) {
        device = m_device->inputWait();
        // Without input events only a hang-up is of interest (Linux).
        if (!(m_eventMask & InputEvents))
            device.events = 0;
    }
    const WaitItem handover = waitingForHandover ? WaitItem{HandoverDone().Handle()} : WaitItem{};
    int timeout = waitingForHandover ? -1 : m_device->lineEventInterval();
    if (pause > 0 && (timeout < 0 || pause < timeout))
        timeout = pause;
    const int ready = waitForAny(
        {{Event.Handle()}, {m_queue->ChangedEvent().Handle()}, handover, device}, timeout);
    if (ready == 3)
        pullInput();
}

void TVaCommEventThread::pullInput()
{
    const auto result = m_queue->PullFrom(*m_device);
    if (result == ReceiveQueue::PullResult::Appended) {
        Handover().PostWakeUp();
    } else if (result == ReceiveQueue::PullResult::Failed) {
        // Gone or broken: stop watching it, or a hung-up descriptor would
        // make every wait return at once.
        m_inputGone = true;
        Handover().PostWakeUp();
    }
}
