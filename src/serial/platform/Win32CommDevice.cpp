#include "Win32CommDevice.h"

#include "Win32Error.h"

#include <cerrno>
#include <cstring>
#include <vector>
#include <windows.h>

// Newer SDKs name it; older MinGW headers do not.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif

struct Win32CommDevice::Overlapped
{
    OVERLAPPED wait{};
    OVERLAPPED read{};
    OVERLAPPED write{};
    std::vector<char> readBuffer;
    std::vector<char> writeBuffer;
};

namespace {

// What one overlapped write takes at most; the write thread hands over the
// rest when this has gone.
constexpr int WriteChunk = 4096;
// What one read takes at most; the event thread reads again while more waits.
constexpr int ReadChunk = 4096;
// How long a read of bytes the driver already holds may take (it completes at
// once on Windows) and how long closing waits for output to leave.
constexpr DWORD ReadCompletionMs = 500;
constexpr DWORD CloseDrainMs = 1000;
constexpr DWORD CloseCancelMs = 500;

// The events the wait always asks for: arrivals drive the reading, and the
// line events are what the component may report.
constexpr DWORD LineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING | EV_BREAK | EV_ERR | EV_RXFLAG;

// The errors with which drivers answer once their adapter is gone.
bool isRemovalError(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NO_SUCH_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_BROKEN_PIPE:
    case ERROR_HANDLE_EOF:
    case ERROR_COUNTER_TIMEOUT:
        return true;
    default:
        return false;
    }
}

// A port without modem lines (a virtual one) may refuse them; like a
// pseudo-terminal on Linux, it then simply has none.
bool isMissingLine(DWORD error)
{
    return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION ||
           error == ERROR_INVALID_PARAMETER;
}

HANDLE handleOf(void *handle)
{
    return static_cast<HANDLE>(handle);
}

// Whether a cancelled operation has ended within a short while. Its record
// tells, not its event: the event of the comm wait is also set by hand.
bool settles(OVERLAPPED &operation)
{
    for (DWORD waited = 0; !HasOverlappedIoCompleted(&operation); waited += 10) {
        if (waited >= CloseCancelMs)
            return false;
        Sleep(10);
    }
    return true;
}

} // namespace

// No regular expression here: it runs on the opening thread, and a regular
// expression's per-thread state crashes at the end of such a thread with
// MinGW's thread-local storage.
QString Win32CommDevice::deviceName(const QString &path)
{
    const QStringView digits = QStringView(path).mid(3);
    bool comName = path.startsWith(QStringLiteral("COM"), Qt::CaseInsensitive) &&
                   !digits.isEmpty() && digits.size() <= 9 && digits.front() != u'0';
    for (QChar c : digits)
        comName = comName && c >= u'0' && c <= u'9';
    if (comName)
        return QStringLiteral("\\\\.\\") + path.toUpper();
    return path;
}

std::unique_ptr<CommDevice> Win32CommDevice::open(const QString &path)
{
    const std::wstring name = deviceName(path).toStdWString();
    // No sharing: a COM port belongs to one program at a time.
    HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        Win32Error::fromLastError();
        return nullptr;
    }
    // A file or another device opens too, but only a port has a line state.
    DCB state{};
    state.DCBlength = sizeof state;
    if (!GetCommState(handle, &state)) {
        CloseHandle(handle);
        errno = ENOTTY;
        return nullptr;
    }
    std::unique_ptr<Win32CommDevice> device(new Win32CommDevice(handle, path));
    Overlapped &io = *device->m_io;
    if (!io.wait.hEvent || !io.read.hEvent || !io.write.hEvent) {
        const int error = errno;
        device.reset();
        errno = error;
        return nullptr;
    }
    return device;
}

Win32CommDevice::Win32CommDevice(void *handle, const QString &path)
    : m_handle(handle), m_path(path), m_io(new Overlapped)
{
    // Manual-reset events: waiting on them never consumes them. The write
    // event starts signalled, as no write is in flight.
    m_io->wait.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_io->read.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_io->write.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!m_io->wait.hEvent || !m_io->read.hEvent || !m_io->write.hEvent)
        Win32Error::fromLastError();
    m_io->readBuffer.resize(ReadChunk);
    m_io->writeBuffer.resize(WriteChunk);
    GetCommModemStatus(handleOf(m_handle), &m_modemLines);
}

Win32CommDevice::~Win32CommDevice()
{
    HANDLE handle = handleOf(m_handle);
    if (!removed())
        drainOnClose();
    // A cleared mask ends a pending event wait; cancelling ends the rest.
    SetCommMask(handle, 0);
    CancelIoEx(handle, nullptr);
    bool completed = true;
    {
        const std::lock_guard lock(m_inputMutex);
        if (m_waitPending)
            completed = settles(m_io->wait);
        if (m_readPending)
            completed = settles(m_io->read) && completed;
    }
    {
        const std::lock_guard lock(m_writeMutex);
        if (m_writePending)
            completed = settles(m_io->write) && completed;
    }
    CloseHandle(handle);
    if (!completed) {
        // The driver still owns an operation that it never ended; its record
        // and event are left to it rather than freed under it.
        return;
    }
    for (HANDLE event : {m_io->wait.hEvent, m_io->read.hEvent, m_io->write.hEvent}) {
        if (event)
            CloseHandle(event);
    }
    delete m_io;
}

// Output still queued gets a moment to leave, so that a last telegram is not
// cut; a stalled line (flow control) cannot hold up the close.
void Win32CommDevice::drainOnClose()
{
    const ULONGLONG end = GetTickCount64() + CloseDrainMs;
    {
        const std::lock_guard lock(m_writeMutex);
        if (m_writePending)
            WaitForSingleObject(m_io->write.hEvent, CloseDrainMs);
    }
    for (;;) {
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(handleOf(m_handle), &errors, &status) || status.cbOutQue == 0)
            break;
        if (GetTickCount64() >= end)
            break;
        Sleep(10);
    }
    PurgeComm(handleOf(m_handle), PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR);
}

WaitItem Win32CommDevice::inputWait() const
{
    return {m_io->wait.hEvent, WaitFor::Input};
}

WaitItem Win32CommDevice::outputWait() const
{
    return {m_io->write.hEvent, WaitFor::Output};
}

bool Win32CommDevice::failed(unsigned long error)
{
    if (isRemovalError(error))
        markRemoved(error);
    errno = removed() ? EIO : Win32Error::toErrno(error);
    return false;
}

void Win32CommDevice::markRemoved(unsigned long error)
{
    if (!m_removed.load())
        m_removalError = error;
    if (!m_removed.exchange(true))
        m_removalUnreported = true;
    // Wakes whoever waits for input, so that the next read reports the loss.
    SetEvent(m_io->wait.hEvent);
}

bool Win32CommDevice::readLineSettings(LineSettings &line)
{
    DCB state{};
    state.DCBlength = sizeof state;
    if (!GetCommState(handleOf(m_handle), &state))
        return failed(GetLastError());
    line.baudRate = state.BaudRate;
    line.flags = (state.fBinary ? LineFlag::Binary : 0) | (state.fParity ? LineFlag::ParityCheck : 0) |
                 (state.fOutxCtsFlow ? LineFlag::OutCtsFlow : 0) |
                 (state.fOutxDsrFlow ? LineFlag::OutDsrFlow : 0) | (quint32(state.fDtrControl) << 4) |
                 (state.fDsrSensitivity ? LineFlag::DsrSensitivity : 0) |
                 (state.fTXContinueOnXoff ? LineFlag::TxContinueOnXoff : 0) |
                 (state.fOutX ? LineFlag::OutX : 0) | (state.fInX ? LineFlag::InX : 0) |
                 (state.fErrorChar ? LineFlag::ErrorChar : 0) | (state.fNull ? LineFlag::NullStrip : 0) |
                 (quint32(state.fRtsControl) << 12);
    line.xonLimit = state.XonLim;
    line.xoffLimit = state.XoffLim;
    line.byteSize = state.ByteSize;
    line.parity = state.Parity;
    line.stopBits = state.StopBits;
    line.xonChar = state.XonChar;
    line.xoffChar = state.XoffChar;
    line.errorChar = state.ErrorChar;
    line.eofChar = state.EofChar;
    line.eventChar = state.EvtChar;
    return true;
}

bool Win32CommDevice::writeLineSettings(const LineSettings &line)
{
    if (line.baudRate == 0) {
        errno = EINVAL;
        return false;
    }
    HANDLE handle = handleOf(m_handle);
    DCB state{};
    state.DCBlength = sizeof state;
    if (!GetCommState(handle, &state))
        return failed(GetLastError());
    state.BaudRate = line.baudRate;
    state.fBinary = TRUE; // Windows supports nothing else.
    state.fParity = (line.flags & LineFlag::ParityCheck) != 0;
    state.fOutxCtsFlow = (line.flags & LineFlag::OutCtsFlow) != 0;
    state.fOutxDsrFlow = (line.flags & LineFlag::OutDsrFlow) != 0;
    state.fDtrControl = (line.flags & LineFlag::DtrControlMask) >> 4;
    state.fDsrSensitivity = (line.flags & LineFlag::DsrSensitivity) != 0;
    state.fTXContinueOnXoff = (line.flags & LineFlag::TxContinueOnXoff) != 0;
    state.fOutX = (line.flags & LineFlag::OutX) != 0;
    state.fInX = (line.flags & LineFlag::InX) != 0;
    state.fErrorChar = (line.flags & LineFlag::ErrorChar) != 0;
    // Zero bytes are dropped by the component itself, as on every system.
    state.fNull = FALSE;
    state.fRtsControl = (line.flags & LineFlag::RtsControlMask) >> 12;
    // Errors are collected by ClearCommError; aborting every transfer on
    // one would stall the line until then.
    state.fAbortOnError = FALSE;
    state.XonLim = line.xonLimit;
    state.XoffLim = line.xoffLimit;
    state.ByteSize = line.byteSize;
    state.Parity = line.parity;
    state.StopBits = line.stopBits;
    state.XonChar = line.xonChar;
    state.XoffChar = line.xoffChar;
    state.ErrorChar = line.errorChar;
    state.EofChar = line.eofChar;
    state.EvtChar = line.eventChar;
    if (!SetCommState(handle, &state))
        return failed(GetLastError());
    // The driver sets RTS and DTR from their control modes on every change of
    // the settings. Rewriting the same mode must keep the level that SetRts
    // chose, as it does on the other systems.
    const quint32 rts = line.flags & LineFlag::RtsControlMask;
    const bool levelKept = rts == m_rtsControl &&
                           (rts == 0 || rts == LineFlag::RtsEnable);
    if (levelKept) {
        if (!setLine(m_rtsHigh ? SETRTS : CLRRTS))
            return false;
    } else {
        m_rtsHigh = rts == LineFlag::RtsEnable;
    }
    m_rtsControl = rts;
    return true;
}

bool Win32CommDevice::setLine(unsigned long function)
{
    if (EscapeCommFunction(handleOf(m_handle), function))
        return true;
    const DWORD error = GetLastError();
    return isMissingLine(error) || failed(error);
}

bool Win32CommDevice::setQueueSizes(int readSize, int writeSize)
{
    if (SetupComm(handleOf(m_handle), DWORD(qMax(readSize, 0)), DWORD(qMax(writeSize, 0))))
        return true;
    // The size is a wish: drivers with fixed buffers may refuse it.
    const DWORD error = GetLastError();
    return isMissingLine(error) || failed(error);
}

bool Win32CommDevice::setImmediateReads()
{
    // An interval of MAXDWORD with no totals: a read returns at once with
    // what the driver holds. Writes never time out; the write thread keeps
    // one in flight and waits for it.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    return SetCommTimeouts(handleOf(m_handle), &timeouts) || failed(GetLastError());
}

bool Win32CommDevice::setEventMask(quint32 mask)
{
    const std::lock_guard lock(m_inputMutex);
    // Arrivals are always watched: they are what makes the input move. A
    // pending wait ends with an empty mask and is armed again by the next read.
    if (!SetCommMask(handleOf(m_handle), EV_RXCHAR | (mask & LineEvents)))
        return failed(GetLastError());
    armEventWait();
    return true;
}

// Called with m_inputMutex held. Modem lines that changed since the last look:
// the comm event wait reports them, but not every driver does (Wine on a
// pseudo-terminal does not), so the lines are also compared.
quint32 Win32CommDevice::modemLineChanges()
{
    DWORD lines = 0;
    if (!GetCommModemStatus(handleOf(m_handle), &lines))
        return 0;
    const DWORD changed = lines ^ m_modemLines;
    m_modemLines = lines;
    return (changed & MS_CTS_ON ? CommEvent::Cts : 0) | (changed & MS_DSR_ON ? CommEvent::Dsr : 0) |
           (changed & MS_RLSD_ON ? CommEvent::Rlsd : 0) | (changed & MS_RING_ON ? CommEvent::Ring : 0);
}

// Called with m_inputMutex held. Takes the result of a completed event wait.
void Win32CommDevice::finishEventWait()
{
    if (!m_waitPending)
        return;
    DWORD ignored = 0;
    if (GetOverlappedResult(handleOf(m_handle), &m_io->wait, &ignored, FALSE)) {
        m_waitPending = false;
        takeWaitEvents();
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE)
        return;
    // Ended without events: a new mask, a purge, or a driver that ends its
    // waits on its own (Wine does after a few milliseconds). Armed again below.
    m_waitPending = false;
    if (isRemovalError(error))
        markRemoved(error);
}

// Called with m_inputMutex held. The events a completed wait reported; a
// modem line it reports is not reported again by the comparison.
void Win32CommDevice::takeWaitEvents()
{
    quint32 events = quint32(m_waitMask & LineEvents);
    if (events & (CommEvent::Cts | CommEvent::Dsr | CommEvent::Rlsd | CommEvent::Ring))
        events |= modemLineChanges();
    m_lineEvents.fetch_or(events);
}

// Called with m_inputMutex held. Arms the event wait when none is pending,
// and leaves the wait object signalled exactly when the reader has something
// to do: bytes in the driver, a wait that has ended, events not yet taken, or
// a removed device. A signal left standing while the wait is still pending
// would wake the event thread again and again for nothing.
void Win32CommDevice::armEventWait()
{
    HANDLE handle = handleOf(m_handle);
    HANDLE signal = m_io->wait.hEvent;
    // A wait that completes at once reports what happened already; take it
    // and arm again, a few times at most.
    for (int attempt = 0; !m_waitPending && !removed() && attempt < 4; ++attempt) {
        m_waitMask = 0;
        if (WaitCommEvent(handle, &m_waitMask, &m_io->wait)) {
            takeWaitEvents();
            continue;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING)
            m_waitPending = true;
        else if (isRemovalError(error))
            markRemoved(error);
        // Otherwise the driver has no working event wait, and input is found
        // by sampleLineEvents() instead.
        break;
    }
    if (removed()) {
        SetEvent(signal);
        return;
    }
    // From here the object tells only of what comes later; what came before
    // (bytes that raised no event of their own, a wait that ended meanwhile)
    // sets it again below.
    ResetEvent(signal);
    COMSTAT status{};
    DWORD errors = 0;
    bool work = m_lineEvents.load() != 0 ||
                (m_waitPending && HasOverlappedIoCompleted(&m_io->wait)) ||
                (m_readPending && HasOverlappedIoCompleted(&m_io->read));
    if (ClearCommError(handle, &errors, &status)) {
        m_lineErrors.fetch_or(quint32(errors));
        work = work || status.cbInQue > 0;
    }
    if (work)
        SetEvent(signal);
}

// Called with m_inputMutex held: the driver's line errors go to the next
// clearErrors(); false when the driver failed.
bool Win32CommDevice::takeDriverErrors(quint32 *inQueue, quint32 *outQueue)
{
    COMSTAT status{};
    DWORD errors = 0;
    if (!ClearCommError(handleOf(m_handle), &errors, &status)) {
        failed(GetLastError());
        return false;
    }
    m_lineErrors.fetch_or(quint32(errors));
    if (inQueue)
        *inQueue = status.cbInQue;
    if (outQueue)
        *outQueue = status.cbOutQue;
    return true;
}

// Called with m_inputMutex held: reads up to `count` of the bytes the driver
// holds, into the device's own buffer, so that a read the driver keeps (Wine
// does, and cannot cancel it) never writes into the caller's memory later.
int Win32CommDevice::readQueued(char *buffer, int count)
{
    HANDLE handle = handleOf(m_handle);
    DWORD got = 0;
    auto take = [&](DWORD bytes) {
        std::memcpy(buffer, m_io->readBuffer.data(), bytes);
        return int(bytes);
    };
    if (m_readPending) {
        // A read that ran out of time earlier: its bytes come now, or later.
        if (!HasOverlappedIoCompleted(&m_io->read))
            return 0;
        m_readPending = false;
        if (GetOverlappedResult(handle, &m_io->read, &got, FALSE))
            return take(qMin(got, DWORD(count)));
    }
    count = qMin(count, int(m_io->readBuffer.size()));
    if (ReadFile(handle, m_io->readBuffer.data(), DWORD(count), &got, &m_io->read))
        return take(got);
    DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        // The bytes are there, so this ends at once on Windows. A driver that
        // waits for more is asked to stop; one that does not stop keeps the
        // read until it ends.
        if (WaitForSingleObject(m_io->read.hEvent, ReadCompletionMs) != WAIT_OBJECT_0) {
            CancelIoEx(handle, &m_io->read);
            if (WaitForSingleObject(m_io->read.hEvent, ReadCompletionMs) != WAIT_OBJECT_0) {
                m_readPending = true;
                return 0;
            }
        }
        if (GetOverlappedResult(handle, &m_io->read, &got, FALSE))
            return take(got);
        error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED)
            return take(got);
    }
    // Wine ends a read at its total time-out with this instead of success.
    if (error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT)
        return take(got);
    failed(error);
    return -1;
}

int Win32CommDevice::read(char *buffer, int max)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    const std::lock_guard lock(m_inputMutex);
    finishEventWait();
    quint32 waiting = 0;
    if (!takeDriverErrors(&waiting, nullptr))
        return -1;
    int got = 0;
    if ((waiting > 0 || m_readPending) && max > 0) {
        got = readQueued(buffer, int(qMin<quint32>(qMax<quint32>(waiting, 1), quint32(max))));
        if (got < 0)
            return -1;
    }
    armEventWait();
    if (removed()) {
        errno = EIO;
        return -1;
    }
    return got;
}

// Called with m_writeMutex held.
bool Win32CommDevice::finishWrite(bool &writeFailed)
{
    writeFailed = false;
    if (!m_writePending)
        return true;
    DWORD written = 0;
    if (GetOverlappedResult(handleOf(m_handle), &m_io->write, &written, FALSE)) {
        m_writePending = false;
        return true;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE)
        return false;
    m_writePending = false;
    // A purge ends a write on purpose; its bytes were meant to go.
    if (error != ERROR_OPERATION_ABORTED) {
        writeFailed = true;
        failed(error);
    }
    return true;
}

int Win32CommDevice::write(const char *buffer, int count)
{
    if (removed()) {
        errno = EIO;
        return -1;
    }
    const std::lock_guard lock(m_writeMutex);
    bool writeFailed = false;
    if (!finishWrite(writeFailed))
        return 0;
    if (writeFailed)
        return -1;
    const int chunk = qMin(count, int(m_io->writeBuffer.size()));
    if (chunk <= 0)
        return 0;
    std::memcpy(m_io->writeBuffer.data(), buffer, size_t(chunk));
    DWORD written = 0;
    // The bytes are the driver's from here: a write in flight counts as taken.
    if (WriteFile(handleOf(m_handle), m_io->writeBuffer.data(), DWORD(chunk), &written,
                  &m_io->write))
        return chunk;
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) {
        m_writePending = true;
        return chunk;
    }
    failed(error);
    return -1;
}

bool Win32CommDevice::escape(CommFunction function)
{
    switch (function) {
    case CommFunction::SetRts:
    case CommFunction::ClearRts:
        if (!setLine(function == CommFunction::SetRts ? SETRTS : CLRRTS))
            return false;
        m_rtsHigh = function == CommFunction::SetRts;
        return true;
    case CommFunction::ResetDevice:
        // Drops what waits in both directions, also a write in flight.
        return PurgeComm(handleOf(m_handle),
                         PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR) ||
               failed(GetLastError());
    }
    errno = EINVAL;
    return false;
}

bool Win32CommDevice::clearErrors(quint32 &errors, CommStatus &status)
{
    status = CommStatus{};
    errors = 0;
    if (!removed()) {
        const std::lock_guard lock(m_inputMutex);
        takeDriverErrors(&status.inQueue, &status.outQueue);
    }
    // CE_RXOVER, CE_OVERRUN, CE_RXPARITY, CE_FRAME and CE_BREAK have the
    // values of the component's error flags.
    errors = m_lineErrors.exchange(0) &
             (CommError::RxOver | CommError::Overrun | CommError::RxParity | CommError::Frame |
              CommError::Break);
    if (m_removalUnreported.exchange(false))
        errors |= CommError::DeviceIo;
    if (removed())
        status = CommStatus{};
    return true;
}

quint32 Win32CommDevice::sampleLineEvents()
{
    if (removed())
        return 0;
    {
        const std::lock_guard lock(m_inputMutex);
        // Input that no event announced (a driver whose event wait does not
        // work) still wakes the reader through the armed signal.
        finishEventWait();
        m_lineEvents.fetch_or(modemLineChanges());
        armEventWait();
    }
    return m_lineEvents.exchange(0);
}

QString Win32CommDevice::removalCause() const
{
    if (!removed())
        return {};
    return QStringLiteral("%1 was removed or stopped working (Windows error %2)")
        .arg(m_path)
        .arg(m_removalError.load());
}
