#include "TVaCustomComm.h"

#include "ApplicationExceptionHandler.h"
#include "DeviceNameFormat.h"
#include "DeviceOpener.h"
#include "MainThreadHandover.h"
#include "ReceiveQueue.h"
#include "TVaCommEventThread.h"
#include "TVaCommWriteThread.h"
#include "platform/CommDevice.h"
#include "platform/OsError.h"
#include "platform/PortNameResolver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

namespace {

// The version number, one byte per part from the highest.
constexpr quint32 PackedVersion = 0x01040001;
constexpr int DefaultReceiveQueueSize = 4096;

const QString PortOpenText = QStringLiteral("Can't perform this operation while port is open");

QEvent::Type openFinishedEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

// Where an Open call learns how the open it waits for ended.
struct TVaCustomComm::OpenWaiter
{
    bool finished = false;
    std::optional<EVaCommError> error;
};

TVaCustomComm::TVaCustomComm(QObject *parent)
    : TVaComponent(parent), m_flowControl(std::make_unique<TVaFlowControl>()),
      m_eventChars(std::make_unique<TVaEventChars>()), m_buffers(std::make_unique<TVaBuffers>()),
      m_handover(std::make_shared<MainThreadHandover>(this))
{
    m_buffers->SetOnChange([this](TVaPersistent *) { CheckClosed(); });
    m_eventChars->SetOnChange([this](TVaPersistent *) { ApplyLineSettings(); });
    m_flowControl->SetOnChange([this](TVaPersistent *) { ApplyLineSettings(); });
}

TVaCustomComm::~TVaCustomComm()
{
    m_destroying = true;
    KillOpen();
    ApplicationExceptionHandler::guard([this] { Close(); });
}

// Configuration ------------------------------------------------------------

void TVaCustomComm::setBaudrate(TVaBaudrate value)
{
    if (value == m_baudrate)
        return;
    m_baudrate = value;
    if (value != brUser)
        m_userBaudrate = 0;
    ApplyLineSettings();
}

void TVaCustomComm::setUserBaudrate(int value)
{
    if (value == m_userBaudrate)
        return;
    m_userBaudrate = value;
    m_baudrate = brUser;
    ApplyLineSettings();
}

void TVaCustomComm::setParity(TVaParity value)
{
    if (value == m_parity)
        return;
    m_parity = value;
    ApplyLineSettings();
}

void TVaCustomComm::setDatabits(TVaDatabits value)
{
    if (value == m_databits)
        return;
    m_databits = value;
    ApplyLineSettings();
}

void TVaCustomComm::setStopbits(TVaStopbits value)
{
    if (value == m_stopbits)
        return;
    m_stopbits = value;
    ApplyLineSettings();
}

void TVaCustomComm::setOptions(TVaCommOptions value)
{
    if (value == m_options)
        return;
    m_options = value;
    ApplyLineSettings();
}

void TVaCustomComm::setEventChars(const TVaEventChars &value)
{
    m_eventChars->Assign(&value);
}

void TVaCustomComm::setFlowControl(const TVaFlowControl &value)
{
    m_flowControl->Assign(&value);
}

void TVaCustomComm::setBuffers(const TVaBuffers &value)
{
    CheckClosed();
    m_buffers->Assign(&value);
}

void TVaCustomComm::setPortNum(int value)
{
    CheckClosed();
    m_portNum = value;
}

void TVaCustomComm::setDeviceName(const QString &value)
{
    CheckClosed();
    m_deviceName = value;
}

void TVaCustomComm::setMonitorEvents(TVaCommEvents value)
{
    CheckClosed();
    m_monitorEvents = value;
}

void TVaCustomComm::setEventPriority(TThreadPriority value)
{
    if (value == m_eventPriority)
        return;
    m_eventPriority = value;
    if (m_eventThread)
        m_eventThread->SetPriority(value);
}

void TVaCustomComm::setWritePriority(TThreadPriority value)
{
    if (value == m_writePriority)
        return;
    m_writePriority = value;
    if (m_writeThread)
        m_writeThread->SetPriority(value);
}

void TVaCustomComm::setDirectWrite(bool value)
{
    CheckClosed();
    m_directWrite = value;
}

void TVaCustomComm::setUpdateDCB(bool value)
{
    CheckClosed();
    m_updateDcb = value;
}

QString TVaCustomComm::Version() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg((PackedVersion >> 24) & 0xFF)
        .arg((PackedVersion >> 16) & 0xFF)
        .arg((PackedVersion >> 8) & 0xFF)
        .arg(PackedVersion & 0xFF);
}

QString TVaCustomComm::DevicePath() const
{
    return PortNameResolver::resolve(FormatDeviceName(m_deviceName, m_portNum));
}

void TVaCustomComm::CheckClosed() const
{
    if (IsOpen())
        throw EVaCommError(PortOpenText);
}

// Opening and closing ------------------------------------------------------

void TVaCustomComm::Loaded()
{
    if (m_autoOpen)
        Open();
}

void TVaCustomComm::Open()
{
    CheckClosed();
    // A handler that runs while an open waits for its server finds the port
    // as good as open.
    if (m_opener)
        throw EVaCommError(PortOpenText);
    const QString path = DevicePath();
    if (!openMayWait(path)) {
        OpenDevice();
        if (!IsOpen())
            return;
        ConfigureOpenedDevice();
        DoOpen();
        return;
    }
    const auto waiter = std::make_shared<OpenWaiter>();
    BeginOpen(path);
    m_openWaiter = waiter;
    const QCoreApplication *application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread() &&
        thread() == application->thread()) {
        // Handlers run meanwhile may close or even destroy this component;
        // the waiter then holds the cancel, and nothing here touches `this`.
        while (!waiter->finished)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    } else {
        m_opener->waitUntilFinished();
        FinishOpen();
    }
    if (waiter->error)
        throw *waiter->error;
    DoOpen();
}

void TVaCustomComm::StartOpen()
{
    CheckClosed();
    if (m_opener)
        throw EVaCommError(PortOpenText);
    BeginOpen(DevicePath());
}

void TVaCustomComm::BeginOpen(const QString &path)
{
    // The component outlives the attempt's thread (the destructor joins it),
    // so the thread may post to it.
    m_opener = std::make_unique<DeviceOpener>(
        path, [this] { QCoreApplication::postEvent(this, new QEvent(openFinishedEventType())); });
}

void TVaCustomComm::AbortOpen()
{
    if (!m_opener)
        return;
    m_opener->abort();
    FinishOpen();
}

void TVaCustomComm::KillOpen()
{
    if (!m_opener)
        return;
    const QString path = m_opener->path();
    m_opener.reset();
    if (const auto waiter = std::exchange(m_openWaiter, nullptr)) {
        waiter->finished = true;
        waiter->error = OpenError(path, ECANCELED);
    }
}

void TVaCustomComm::FinishOpen()
{
    const std::unique_ptr<DeviceOpener> opener = std::move(m_opener);
    const std::shared_ptr<OpenWaiter> waiter = std::exchange(m_openWaiter, nullptr);
    int code = 0;
    std::unique_ptr<CommDevice> device = opener->take(code);
    std::optional<EVaCommError> failure;
    try {
        AdoptDevice(opener->path(), std::move(device), code);
        ConfigureOpenedDevice();
    } catch (const EVaCommError &error) {
        failure = error;
    } catch (const std::exception &error) {
        failure = EVaCommError(QString::fromUtf8(error.what()));
    }
    if (waiter) {
        waiter->finished = true;
        waiter->error = failure;
        return;
    }
    if (!failure)
        DoOpen();
    if (const TVaCommOpenFinishedEvent handler = m_onOpenFinished)
        ApplicationExceptionHandler::guard([&] { handler(this, failure ? &*failure : nullptr); });
}

void TVaCustomComm::ConfigureOpenedDevice()
{
    try {
        ApplyLineSettings();
        ApplyBufferSizes();
        ApplyTimeouts();
        ApplyEventMask();
        StartThreads();
    } catch (...) {
        StopThreads();
        CloseDevice();
        throw;
    }
}

void TVaCustomComm::OpenDevice()
{
    const QString path = DevicePath();
    std::unique_ptr<CommDevice> device = openCommDevice(path);
    const int code = device ? 0 : errno;
    AdoptDevice(path, std::move(device), code);
}

EVaCommError TVaCustomComm::OpenError(const QString &path, int code)
{
    if (code == ENOENT)
        return EVaCommError(
            EVaCommError::Format(QStringLiteral("Specified device not found (%s)."), path), code);
    return EVaCommError(
        EVaCommError::Format(QStringLiteral("Can't open specified device %s"), path) +
            EVaCommError::Format(QStringLiteral(" (Error %d, %s)"), code, OsError::text(code)),
        code);
}

void TVaCustomComm::AdoptDevice(const QString &path, std::unique_ptr<CommDevice> device, int code)
{
    if (!device)
        throw OpenError(path, code);
    const int queueSize =
        m_buffers->ReadSize() > 0 ? m_buffers->ReadSize() : DefaultReceiveQueueSize;
    m_receiveQueue = std::make_shared<ReceiveQueue>(queueSize);
    m_device = std::move(device);
    ++m_generation;
}

void TVaCustomComm::ApplyLineSettings()
{
    if (!IsOpen() || !m_updateDcb)
        return;
    LineSettings current;
    // Only the fields not set below survive from the device; a failed read leaves zeros.
    m_device->readLineSettings(current);
    const LineSettings settings = ComposeLineSettings(current);
    CheckCommResult(m_device->writeLineSettings(settings),
                    QStringLiteral("Error writing dcb (%d), %s"));
    m_receiveQueue->SetFilter({(settings.flags & LineFlag::NullStrip) != 0, settings.eventChar});
}

LineSettings TVaCustomComm::ComposeLineSettings(const LineSettings &current) const
{
    LineSettings settings = current;
    settings.baudRate =
        m_baudrate == brUser ? quint32(m_userBaudrate) : BaudrateBitsPerSecond(m_baudrate);
    settings.byteSize = quint8(4 + m_databits);
    settings.parity = quint8(m_parity);
    settings.stopBits = quint8(m_stopbits);
    settings.xonChar = m_eventChars->XonChar();
    settings.xoffChar = m_eventChars->XoffChar();
    settings.errorChar = m_eventChars->ErrorChar();
    settings.eofChar = m_eventChars->EofChar();
    settings.eventChar = m_eventChars->EventChar();
    settings.xonLimit = quint16(m_buffers->XonLimit() & 0xFFFF);
    settings.xoffLimit = quint16(m_buffers->XoffLimit() & 0xFFFF);

    const TVaFlowControl &flow = *m_flowControl;
    quint32 flags = LineFlag::Binary;
    if (flow.OutCtsFlow())
        flags |= LineFlag::OutCtsFlow;
    if (flow.OutDsrFlow())
        flags |= LineFlag::OutDsrFlow;
    flags |= quint32(flow.ControlDtr()) << 4;
    if (flow.DsrSensitivity())
        flags |= LineFlag::DsrSensitivity;
    if (flow.TxContinueOnXoff())
        flags |= LineFlag::TxContinueOnXoff;
    if (flow.XonXoffOut())
        flags |= LineFlag::OutX;
    if (flow.XonXoffIn())
        flags |= LineFlag::InX;
    if (m_options.Contains(coErrorChar))
        flags |= LineFlag::ErrorChar;
    if (m_options.Contains(coNullStrip))
        flags |= LineFlag::NullStrip;
    if (m_options.Contains(coParityCheck))
        flags |= LineFlag::ParityCheck;
    flags |= quint32(flow.ControlRts()) << 12;
    settings.flags = flags;
    return settings;
}

void TVaCustomComm::ApplyBufferSizes()
{
    CheckCommResult(m_device->setQueueSizes(m_buffers->ReadSize(), m_buffers->WriteSize()),
                    QStringLiteral("Error initializing buffers (%d), %s"));
}

void TVaCustomComm::ApplyTimeouts()
{
    CheckCommResult(m_device->setImmediateReads(),
                    QStringLiteral("Error setting timeouts (%d), %s"));
}

void TVaCustomComm::ApplyEventMask()
{
    quint32 mask = 0;
    for (int event = ceBreak; event <= ceEvent2; ++event) {
        if (m_monitorEvents.Contains(TVaCommEvent(event)))
            mask |= CommEventBit(TVaCommEvent(event));
    }
    // The write thread reports an emptied queue itself.
    if (!m_directWrite)
        mask &= ~CommEvent::TxEmpty;
    m_eventMask = mask;
    if (IsOpen())
        CheckCommResult(m_device->setEventMask(mask),
                        QStringLiteral(" Error setting EventMask (%d), %s"));
}

void TVaCustomComm::StartThreads()
{
    if (m_eventMask != 0) {
        m_eventThread = std::make_unique<TVaCommEventThread>(this, m_handover, m_device,
                                                             m_receiveQueue, m_eventMask);
        CheckThreadEvents(*m_eventThread);
        m_eventThread->Start(m_eventPriority);
    }
    if (!m_directWrite) {
        m_writeThread = std::make_unique<TVaCommWriteThread>(this, m_handover, m_device, WriteLock,
                                                             m_buffers->WriteSize());
        CheckThreadEvents(*m_writeThread);
        m_writeThread->Start(m_writePriority);
    }
}

// A thread without its events could never be woken or stopped: Open fails
// instead (most likely the process ran out of file descriptors).
void TVaCustomComm::CheckThreadEvents(const CommWorkerThread &thread) const
{
    const int code = thread.EventsError();
    if (code == 0)
        return;
    throw EVaCommError(
        EVaCommError::Format(QStringLiteral("Can't open specified device %s"), DevicePath()) +
        EVaCommError::Format(QStringLiteral(" (Error %d, %s)"), code, OsError::text(code)));
}

void TVaCustomComm::DoOpen()
{
    if (const TNotifyEvent handler = m_onOpen)
        ApplicationExceptionHandler::guard([&] { handler(this); });
}

void TVaCustomComm::Close()
{
    // A Close from a handler that runs while the threads are being stopped
    // finds the port closing already.
    KillOpen();
    if (!IsOpen() || m_closing)
        return;
    m_closing = true;
    {
        const std::lock_guard lock(ReadLock);
        StopThreads();
    }
    CloseDevice();
    m_closing = false;
    DoClose();
    std::this_thread::sleep_for(std::chrono::milliseconds(m_pauseAfterCloseMs));
}

void TVaCustomComm::StopThreads()
{
    // The threads never wait on a handler's return once told to stop, so this
    // also works from inside a handler they handed over.
    if (m_eventThread) {
        m_eventThread->Stop();
        m_eventThread->WaitForEnd();
        m_eventThread.reset();
    }
    if (m_writeThread) {
        m_writeThread->Stop();
        m_writeThread->WaitForEnd();
        m_writeThread.reset();
    }
}

void TVaCustomComm::CloseDevice()
{
    m_receiveQueue.reset();
    m_device.reset();
    m_unreportedErrors = 0;
    ++m_generation;
}

void TVaCustomComm::DoClose()
{
    if (m_destroying)
        return;
    if (const TNotifyEvent handler = m_onClose)
        handler(this);
}

bool TVaCustomComm::event(QEvent *event)
{
    if (event->type() == MainThreadHandover::WakeUpEventType()) {
        const auto handover = m_handover;
        handover->Serve();
        return true;
    }
    if (event->type() == openFinishedEventType()) {
        // A stale report of an attempt that was ended meanwhile finds none finished.
        if (m_opener && m_opener->isFinished())
            FinishOpen();
        return true;
    }
    return TVaComponent::event(event);
}

void TVaCustomComm::RaiseCommError(const QString &format)
{
    const int code = errno;
    throw EVaCommError(EVaCommError::Format(format, code, OsError::text(code)));
}

void TVaCustomComm::CheckCommResult(bool ok, const QString &format)
{
    if (!ok)
        RaiseCommError(format);
}
