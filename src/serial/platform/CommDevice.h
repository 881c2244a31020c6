#pragma once

#include "CommTypes.h"
#include "Waitable.h"

#include <QString>
#include <memory>

class OpenAbort;

// One open serial device as the component sees it, whatever carries it: a
// local port or a network port server. Every operation is non-blocking; a
// thread that must wait for input or for room to write waits on inputWait()
// or outputWait() (see waitForAny).
//
// Which thread calls what: reads may come from any thread, but the component
// serialises them; writes come from one thread at a time; sampleLineEvents()
// only from the event thread; everything else from the main thread.
//
// A failing operation returns false (or -1) and leaves the reason in errno.
class CommDevice
{
public:
    virtual ~CommDevice();

    virtual QString path() const = 0;

    // Ready when input is waiting or the device went away (a read then says
    // which). On Windows it may also be ready with nothing to read: a read
    // that finds nothing rearms it.
    virtual WaitItem inputWait() const = 0;
    // Ready when a write can take bytes, or the device went away.
    virtual WaitItem outputWait() const = 0;

    virtual bool readLineSettings(LineSettings &settings) = 0;
    virtual bool writeLineSettings(const LineSettings &settings) = 0;
    virtual bool setQueueSizes(int readSize, int writeSize) = 0;
    // Makes reads return at once with what has arrived.
    virtual bool setImmediateReads() = 0;
    virtual bool setEventMask(quint32 mask) = 0;

    // Reads what has arrived, up to max bytes: the count, 0 when nothing is
    // waiting, -1 on failure. A device that went away fails with EIO and from
    // then on reports removed().
    virtual int read(char *buffer, int max) = 0;
    // Writes what the device takes now: the count (0 when it has no room),
    // or -1 on failure.
    virtual int write(const char *buffer, int count) = 0;

    virtual bool escape(CommFunction function) = 0;

    // Returns and clears the line errors since the last call, and the bytes the
    // device holds for reading and for sending.
    virtual bool clearErrors(quint32 &errors, CommStatus &status) = 0;

    // Line events (modem lines, breaks, line errors) since the last call.
    virtual quint32 sampleLineEvents() = 0;
    // How often sampleLineEvents() is worth calling, in ms; -1 when the device
    // has no such lines.
    virtual int lineEventInterval() const = 0;

    virtual bool removed() const = 0;
    // Why the device counts as removed, in words for the user ("the COM port
    // server closed the connection"); empty while it has not gone.
    virtual QString removalCause() const { return {}; }

    // How long, in ms, the device wants its input left alone: a network port
    // server that sends nothing but commands, faster than they are parsed, is
    // read in bursts, so that TCP slows it down instead of the parsing
    // taking a processor core. 0 when input may be read now.
    virtual int inputPauseMs() const { return 0; }
};

// Opens the device at `path` exclusively; nullptr with errno on failure
// (ENOENT when there is no such device, EBUSY when another program holds it,
// ECANCELED when `abort` was tripped).
std::unique_ptr<CommDevice> openCommDevice(const QString &path, const OpenAbort *abort = nullptr);

// Whether opening `path` waits for someone else (a network port server); a
// local device opens at once.
bool openMayWait(const QString &path);
