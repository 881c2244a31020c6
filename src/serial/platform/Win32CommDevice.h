#pragma once

#include "CommDevice.h"

#include <atomic>
#include <memory>
#include <mutex>

// A serial port on Windows ("COM3", "\\.\COM12" or any device name that
// CreateFile opens as a communications device), driven with overlapped I/O:
//
// - Input: an overlapped WaitCommEvent is kept armed; its event object is
//   inputWait(). A read completes that wait (taking the line events it
//   reports), asks ClearCommError how many bytes wait in the driver, reads
//   exactly those (so a read never waits) and arms the wait again.
// - Output: one overlapped WriteFile at a time from a buffer of the device's
//   own; outputWait() is its event object, signalled while no write is in
//   flight. A write while one is in flight takes nothing (no room).
// - RTS through EscapeCommFunction, queue counts and line errors through
//   ClearCommError, a reset through PurgeComm.
//
// A port that fails with the errors of a removed adapter (access denied, bad
// command, device not connected...) counts as removed from then on and is
// reported once by clearErrors(), as the other back ends do.
class Win32CommDevice : public CommDevice
{
public:
    // The name CreateFile is given for `path`: "COMn" (any case) becomes
    // "\\.\COMn", which also reaches ports above COM9; anything else is used
    // as it is.
    static QString deviceName(const QString &path);

    static std::unique_ptr<CommDevice> open(const QString &path);
    ~Win32CommDevice() override;

    QString path() const override { return m_path; }
    WaitItem inputWait() const override;
    WaitItem outputWait() const override;

    bool readLineSettings(LineSettings &settings) override;
    bool writeLineSettings(const LineSettings &settings) override;
    bool setQueueSizes(int readSize, int writeSize) override;
    bool setImmediateReads() override;
    bool setEventMask(quint32 mask) override;

    int read(char *buffer, int max) override;
    int write(const char *buffer, int count) override;
    bool escape(CommFunction function) override;
    bool clearErrors(quint32 &errors, CommStatus &status) override;
    quint32 sampleLineEvents() override;
    // Line events come with the comm event wait; the interval bounds how late
    // one taken in by a read on another thread is dealt with, and lets input
    // be noticed where the driver's event wait does not work.
    int lineEventInterval() const override { return 100; }
    bool removed() const override { return m_removed.load(); }
    QString removalCause() const override;

    struct Overlapped;

private:
    Win32CommDevice(void *handle, const QString &path);

    // Called with m_inputMutex held.
    void finishEventWait();
    void takeWaitEvents();
    quint32 modemLineChanges();
    void armEventWait();
    bool takeDriverErrors(quint32 *inQueue, quint32 *outQueue);
    int readQueued(char *buffer, int count);
    bool setLine(unsigned long function);
    // Called with m_writeMutex held: false when a write is still in flight.
    bool finishWrite(bool &failed);
    void drainOnClose();
    bool failed(unsigned long error);
    // `error`: the Windows error behind the loss.
    void markRemoved(unsigned long error);

    void *m_handle;
    QString m_path;
    // The OVERLAPPED records live apart from the object: a driver that never
    // completes a cancelled operation must not write into freed memory.
    Overlapped *m_io;

    std::mutex m_inputMutex;
    bool m_waitPending = false;
    bool m_readPending = false;
    unsigned long m_waitMask = 0;
    unsigned long m_modemLines = 0;

    std::mutex m_writeMutex;
    bool m_writePending = false;

    std::atomic<quint32> m_lineEvents{0};
    std::atomic<quint32> m_lineErrors{0};
    std::atomic<bool> m_removed{false};
    // The removal is reported once by clearErrors().
    std::atomic<bool> m_removalUnreported{false};
    std::atomic<unsigned long> m_removalError{0};
    // RTS: its control mode in the last line settings written (none yet),
    // and the level it was last given.
    static constexpr quint32 NoControl = ~quint32(0);
    quint32 m_rtsControl = NoControl;
    bool m_rtsHigh = false;
};
