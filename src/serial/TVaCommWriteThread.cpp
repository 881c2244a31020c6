#include "TVaCommWriteThread.h"

#include "MillisecondDeadline.h"
#include "TVaCustomComm.h"
#include "platform/CommDevice.h"

#include <chrono>

namespace {

constexpr int FirstRetryPause = 10;
constexpr int LongestRetryPause = 1000;

} // namespace

TVaCommWriteThread::TVaCommWriteThread(TVaCustomComm *owner,
                                       std::shared_ptr<MainThreadHandover> handover,
                                       std::shared_ptr<CommDevice> device,
                                       TVaCriticalSection &writeLock, int capacity)
    : CommWorkerThread(owner, std::move(handover)), m_device(std::move(device)),
      m_writeLock(writeLock), Buffer(capacity)
{}

TVaCommWriteThread::~TVaCommWriteThread()
{
    Stop();
    JoinStopped();
}

bool TVaCommWriteThread::Enqueue(const char *data, int count, int timeout)
{
    std::unique_lock lock(m_writeLock);
    // While the thread is not writing, nothing can overtake: the device takes
    // what it has room for right here, queued bytes first, which spares the
    // hand-over to the thread; only the rest is queued. A failing write leaves
    // everything queued and the thread reports the failure as usual; when an
    // emptied queue must be reported, every byte goes through the thread.
    // Bytes that would not fit in the queue take the queue's way, so that the
    // queue's size and time-out mean what they always meant.
    const bool fitsNow = qint64(Buffer.Size()) + count <= Buffer.Capacity();
    if (fitsNow && !m_writing && !Owner->WantsTxEmpty() && writeAhead(data, count))
        return true;
    auto fits = [&] { return qint64(Buffer.Size()) + count <= Buffer.Capacity(); };
    if (!fits()) {
        // Wait for the thread to make room instead of spinning on the size.
        const MillisecondDeadline deadline(quint32(qMax(timeout, 0)));
        while (!fits()) {
            const quint32 now = MillisecondDeadline::TickCount();
            if (deadline.ExpiredAt(now))
                return false;
            const auto pause =
                std::chrono::milliseconds(qMax<quint32>(deadline.RemainingAt(now), 1));
            m_roomAwaited = count;
            m_room.wait_for(lock, pause);
            m_roomAwaited = 0;
        }
    }
    Buffer.Append(data, count);
    signalWrite();
    return true;
}

// Called with the lock held: writes the queue, then the new bytes, as far as
// the device takes them without waiting; true when nothing is left to queue.
bool TVaCommWriteThread::writeAhead(const char *&data, int &count)
{
    if (Buffer.Size() > 0) {
        const int taken = m_device->write(Buffer.Data(), Buffer.Size());
        if (taken <= 0)
            return false;
        Buffer.Consume(taken);
        if (Buffer.Size() > 0)
            return false;
        resetWrite();
    }
    const int taken = m_device->write(data, count);
    if (taken > 0) {
        data += taken;
        count -= taken;
    }
    return count == 0;
}

// Called with the lock held. The event is signalled while the queue holds
// bytes; a second signal would only cost a system call per WriteBuf.
void TVaCommWriteThread::signalWrite()
{
    if (m_writeSignalled)
        return;
    WriteEvent.Signal();
    m_writeSignalled = true;
}

// Called with the lock held.
void TVaCommWriteThread::resetWrite()
{
    WriteEvent.Reset();
    m_writeSignalled = false;
}

int TVaCommWriteThread::QueuedBytes()
{
    const std::lock_guard lock(m_writeLock);
    return Buffer.Size();
}

int TVaCommWriteThread::EventsError() const
{
    if (const int error = CommWorkerThread::EventsError())
        return error;
    return FirstEventError({&WriteEvent, &CloseEvent});
}

void TVaCommWriteThread::Stop()
{
    MarkTerminated();
    CloseEvent.Signal();
}

void TVaCommWriteThread::Execute()
{
    while (!Terminated()) {
        const int ready = waitForAny({{CloseEvent.Handle()}, {WriteEvent.Handle()}}, -1);
        if (ready == 0) {
            MarkTerminated();
        } else if (ready == 1) {
            writePass();
        }
    }
}

void TVaCommWriteThread::writePass()
{
    switch (writeQueued()) {
    case WriteOutcome::Emptied:
        // Nobody to tell: the report would only cost the main thread a wake-up.
        if (Owner->WantsTxEmpty())
            ReportTxEmpty();
        break;
    case WriteOutcome::Partial:
        // The device took what it had room for; asking again at once would
        // only fail. Wait until it can take more.
    case WriteOutcome::NoRoom:
        waitUntilWritable();
        break;
    case WriteOutcome::Failed:
        handleWriteFailure();
        break;
    case WriteOutcome::Nothing:
        break;
    }
}

TVaCommWriteThread::WriteOutcome TVaCommWriteThread::writeQueued()
{
    int size = 0;
    const char *data = nullptr;
    {
        const std::lock_guard lock(m_writeLock);
        size = Buffer.Size();
        data = Buffer.Data();
        if (size == 0) {
            resetWrite();
            return WriteOutcome::Nothing;
        }
        m_writing = true;
    }
    // While this thread writes, no one else removes bytes, and appends never
    // move them, so the bytes stay valid without the lock.
    const int written = m_device->write(data, size);
    if (written <= 0) {
        const std::lock_guard lock(m_writeLock);
        m_writing = false;
        return written < 0 ? WriteOutcome::Failed : WriteOutcome::NoRoom;
    }
    m_retryPause = 0;
    return CompleteWrite(written) ? WriteOutcome::Emptied : WriteOutcome::Partial;
}

void TVaCommWriteThread::handleWriteFailure()
{
    if (!m_device->removed()) {
        ReportError();
        pauseAfterFailure();
        return;
    }
    if (!m_removalReported) {
        m_removalReported = true;
        ReportError();
    }
    waitForClose(-1);
}

bool TVaCommWriteThread::CompleteWrite(int written)
{
    bool emptied = false;
    bool wakeWriter = false;
    {
        const std::lock_guard lock(m_writeLock);
        m_writing = false;
        Buffer.Consume(written);
        // Tested and reset under the lock, so bytes appended meanwhile are
        // never left without a signal.
        emptied = Buffer.Size() == 0;
        if (emptied)
            resetWrite();
        else
            signalWrite();
        // Wake WriteBuf only once its bytes fit: a wake-up for less room
        // would only send it back to sleep.
        wakeWriter =
            m_roomAwaited > 0 && qint64(Buffer.Size()) + m_roomAwaited <= Buffer.Capacity();
    }
    if (wakeWriter)
        m_room.notify_all();
    return emptied;
}

void TVaCommWriteThread::ReportTxEmpty()
{
    reportAndWait(CommEvent::TxEmpty);
}

void TVaCommWriteThread::ReportError()
{
    reportAndWait(CommEvent::Error);
}

// While the main thread has not yet taken an emptied-queue report, the queue
// keeps moving: the main thread may itself be waiting in WriteBuf for room.
// Queues emptied meanwhile are covered by the report still pending.
void TVaCommWriteThread::reportAndWait(quint32 mask)
{
    auto *owner = Owner;
    const auto request = HandOver([owner, mask] { owner->HandleEvents(mask); });
    bool keepWriting = mask == CommEvent::TxEmpty;
    bool deviceFull = false;
    while (!HandoverFinished(request)) {
        WaitItem work;
        if (keepWriting)
            work = deviceFull ? m_device->outputWait() : WaitItem{WriteEvent.Handle()};
        const int ready = waitForAny({{CloseEvent.Handle()}, {HandoverDone().Handle()}, work},
                                     deviceFull ? WritableRecheckMs : -1);
        if (ready == 0) {
            MarkTerminated();
            Withdraw(request);
            return;
        }
        if (ready == 2 || (ready < 0 && deviceFull)) {
            const WriteOutcome outcome = writeQueued();
            deviceFull = outcome == WriteOutcome::NoRoom;
            keepWriting = outcome != WriteOutcome::Failed;
        }
    }
}

void TVaCommWriteThread::waitUntilWritable()
{
    // Pseudo-terminals do not always announce new room, nor does a socket on
    // Windows whose signal a read has rearmed; looking again after a short
    // while keeps the queue moving without a busy loop.
    const int ready = waitForAny({{CloseEvent.Handle()}, m_device->outputWait()}, WritableRecheckMs);
    if (ready == 0)
        MarkTerminated();
}

void TVaCommWriteThread::pauseAfterFailure()
{
    m_retryPause = m_retryPause == 0 ? FirstRetryPause : qMin(m_retryPause * 2, LongestRetryPause);
    waitForClose(m_retryPause);
}

bool TVaCommWriteThread::waitForClose(int timeout)
{
    if (waitForAny({{CloseEvent.Handle()}}, timeout) != 0)
        return false;
    MarkTerminated();
    return true;
}
