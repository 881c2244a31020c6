#pragma once

#include "CommWorkerThread.h"
#include "TVaCommBuffer.h"
#include "TVaCriticalSection.h"

#include <condition_variable>

class CommDevice;

// Owns the write queue and writes its bytes to the device. WriteBuf only
// appends (Enqueue); this thread sends from the start of the queue, removes
// what the device took and reports an emptied queue (ceTxEmpty) or a failed
// write (ceError) to the component on the main thread.
//
// While an emptied-queue report waits for the main thread, writing goes on.
// A write that fails is retried with a growing pause, never in a tight loop.
// A device that went away is reported once; the thread then idles until it
// is stopped, and the queued bytes stay where they are.
class TVaCommWriteThread : public CommWorkerThread
{
public:
    // How long a wait for room in the device lasts before it looks again.
    static constexpr int WritableRecheckMs = 50;

    TVaCommWriteThread(TVaCustomComm *owner, std::shared_ptr<MainThreadHandover> handover,
                       std::shared_ptr<CommDevice> device, TVaCriticalSection &writeLock,
                       int capacity);

    ~TVaCommWriteThread() override;

    // Main thread: queues the bytes when they fit within `timeout` ms.
    bool Enqueue(const char *data, int count, int timeout);
    // Signals CloseEvent.
    void Stop() override;
    int EventsError() const override;

    // Bytes queued and not yet taken by the device.
    int QueuedBytes();

protected:
    void Execute() override;

private:
    enum class WriteOutcome
    {
        Nothing,
        Partial,
        Emptied,
        NoRoom,
        Failed
    };

    bool writeAhead(const char *&data, int &count);
    void signalWrite();
    void resetWrite();
    void writePass();
    WriteOutcome writeQueued();
    void handleWriteFailure();
    // Removes what the device took; true when the queue is now empty.
    bool CompleteWrite(int written);
    void ReportTxEmpty();
    void ReportError();
    void reportAndWait(quint32 mask);
    void waitUntilWritable();
    void pauseAfterFailure();
    bool waitForClose(int timeout);

    std::shared_ptr<CommDevice> m_device;
    TVaCriticalSection &m_writeLock;
    TVaCommBuffer Buffer;
    TVaWaitEvent WriteEvent;
    TVaWaitEvent CloseEvent;
    std::condition_variable_any m_room;
    // Guarded by the write lock: WriteEvent's state, whether this thread is
    // writing, and how many bytes WriteBuf waits to find room for (0: none).
    bool m_writeSignalled = false;
    // This thread writes from the queue outside the lock.
    bool m_writing = false;
    int m_roomAwaited = 0;
    int m_retryPause = 0;
    bool m_removalReported = false;
};
