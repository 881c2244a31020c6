// Reading, writing, line control and event handling of TVaCustomComm.
#include "ApplicationExceptionHandler.h"
#include "MillisecondDeadline.h"
#include "ReceiveQueue.h"
#include "TVaCommWriteThread.h"
#include "TVaCustomComm.h"
#include "platform/CommDevice.h"

#include <mutex>
#include <utility>

int TVaCustomComm::WriteBuf(const char *buffer, int count)
{
    if (!IsOpen() || count <= 0)
        return 0;
    if (m_directWrite)
        return DirectWriteBuf(buffer, count);
    if (!m_writeThread->Enqueue(buffer, count, m_buffers->WriteTimeout()))
        throw EVaCommError(QStringLiteral("Output buffer is full. Please check comm status."));
    return count;
}

// Writes and waits up to WriteTimeout ms for the device to take the bytes;
// returns how many it took.
int TVaCustomComm::DirectWriteBuf(const char *buffer, int count)
{
    const std::lock_guard lock(WriteLock);
    const MillisecondDeadline deadline(quint32(qMax(m_buffers->WriteTimeout(), 0)));
    int written = 0;
    while (written < count) {
        const int taken = m_device->write(buffer + written, count - written);
        if (taken < 0)
            RaiseCommError(QStringLiteral("Write error (%d), %s"));
        written += taken;
        const quint32 now = MillisecondDeadline::TickCount();
        if (written == count || deadline.ExpiredAt(now))
            break;
        // Looked at again after a while at the latest: not every device
        // announces new room (see the write thread).
        waitForAny({m_device->outputWait()},
                   int(qBound<quint32>(1, deadline.RemainingAt(now), TVaCommWriteThread::WritableRecheckMs)));
    }
    return written;
}

int TVaCustomComm::ReadBuf(char *buffer, int count)
{
    if (!IsOpen() || count <= 0)
        return 0;
    const std::lock_guard lock(ReadLock);
    // The event thread may be blocked in a handover right now, inside the very
    // handler that is reading: fetch what the device holds directly.
    if (m_receiveQueue->Count() < count &&
        m_receiveQueue->PullFrom(*m_device) == ReceiveQueue::PullResult::Failed &&
        !m_device->removed())
        RaiseCommError(QStringLiteral("Read error (%d), %s"));
    return m_receiveQueue->Take(buffer, count);
}

bool TVaCustomComm::ReadChar(char &ch)
{
    return ReadBuf(&ch, 1) == 1;
}

void TVaCustomComm::ReadCommStatus(quint32 &errors, CommStatus &status)
{
    const std::lock_guard lock(ReadLock);
    errors = 0;
    status = CommStatus{};
    if (!IsOpen())
        return;
    // Queue what the device holds, so the count is exact after the input filter.
    if (m_receiveQueue->PullFrom(*m_device) == ReceiveQueue::PullResult::Failed &&
        !m_device->removed())
        RaiseCommError(QStringLiteral("Error retrieving statistics (%d), %s"));
    CheckCommResult(m_device->clearErrors(errors, status),
                    QStringLiteral("Error retrieving statistics (%d), %s"));
    status.inQueue += quint32(m_receiveQueue->Count());
    // The device reports an error once; whoever reads the status, the next
    // error event still reports it. A device that is gone stays gone for
    // every later status read too.
    m_unreportedErrors |= errors;
    if (m_device->removed())
        errors |= CommError::DeviceIo;
}

int TVaCustomComm::InQueueCount()
{
    quint32 errors = 0;
    CommStatus status;
    ReadCommStatus(errors, status);
    return IsOpen() ? int(status.inQueue) : 0;
}

void TVaCustomComm::SetRts(bool state)
{
    const TVaControlRts control = m_flowControl->ControlRts();
    if (control == rtsHandshake || control == rtsToggle)
        throw EVaCommError(QStringLiteral(
            "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle."));
    EscapeFunction(state ? CommFunction::SetRts : CommFunction::ClearRts);
}

void TVaCustomComm::ResetDevice()
{
    EscapeFunction(CommFunction::ResetDevice);
    // The receive queue stands for the device's own input buffer, which the reset emptied.
    if (IsOpen())
        m_receiveQueue->Clear();
}

void TVaCustomComm::EscapeFunction(CommFunction function)
{
    if (!IsOpen())
        return;
    CheckCommResult(m_device->escape(function),
                    QStringLiteral("Error calling comm function (%d), %s"));
}

void TVaCustomComm::HandleRxChar()
{
    const int count = InQueueCount();
    if (count <= 0)
        return;
    // A copy: the handler may replace itself or destroy this component.
    if (const TVaCommRxCharEvent handler = m_onRxChar)
        handler(this, count);
}

bool TVaCustomComm::stillRunning(const QPointer<TVaCustomComm> &self, quint64 generation)
{
    return !self.isNull() && self->m_generation == generation;
}

void TVaCustomComm::HandleEvents(quint32 mask)
{
    struct Notification
    {
        quint32 bit;
        TNotifyEvent TVaCustomComm::*handler;
    };
    static const Notification notifications[] = {
        {CommEvent::RxFlag, &TVaCustomComm::m_onRxFlag},
        {CommEvent::Cts, &TVaCustomComm::m_onCts},
        {CommEvent::Dsr, &TVaCustomComm::m_onDsr},
        {CommEvent::Ring, &TVaCustomComm::m_onRing},
        {CommEvent::Rlsd, &TVaCustomComm::m_onRlsd},
        {CommEvent::TxEmpty, &TVaCustomComm::m_onTxEmpty},
        {CommEvent::Break, &TVaCustomComm::m_onBreak},
        {CommEvent::PErr, &TVaCustomComm::m_onPErr},
        {CommEvent::Rx80Full, &TVaCustomComm::m_onRx80Full},
        {CommEvent::Event1, &TVaCustomComm::m_onEvent1},
        {CommEvent::Event2, &TVaCustomComm::m_onEvent2},
    };
    // A handler may close the port or destroy the component: then the rest
    // of the events belong to a port that is gone and are not reported.
    const QPointer<TVaCustomComm> self(this);
    const quint64 generation = m_generation;
    if (mask & CommEvent::Error)
        HandleError();
    for (const Notification &notification : notifications) {
        if (!(mask & notification.bit))
            continue;
        if (!stillRunning(self, generation))
            return;
        if (const TNotifyEvent handler = this->*notification.handler)
            handler(this);
    }
}

void TVaCustomComm::HandleError()
{
    quint32 errors = 0;
    CommStatus status;
    ReadCommStatus(errors, status);
    errors = std::exchange(m_unreportedErrors, 0);
    if (errors == 0)
        return;
    if (const TVaCommErrorEvent handler = m_onError)
        ApplicationExceptionHandler::guard([&] { handler(this, int(errors)); });
}

QString TVaCustomComm::RemovalCause() const
{
    return m_device ? m_device->removalCause() : QString();
}
