#pragma once

#include "EVaCommError.h"
#include "TVaBuffers.h"
#include "TVaComponent.h"
#include "TVaCriticalSection.h"
#include "TVaEventChars.h"
#include "TVaFlowControl.h"
#include "TVaTypes.h"

#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

class CommDevice;
class CommWorkerThread;
class DeviceOpener;
class MainThreadHandover;
class ReceiveQueue;
class TVaCommEventThread;
class TVaCommWriteThread;

// Event properties: each gets the component as sender.
using TNotifyEvent = std::function<void(QObject *sender)>;
using TVaCommErrorEvent = std::function<void(QObject *sender, int errors)>;
using TVaCommRxCharEvent = std::function<void(QObject *sender, int count)>;
// The end of an open started with StartOpen: `error` is null when the port is open.
using TVaCommOpenFinishedEvent = std::function<void(QObject *sender, const EVaCommError *error)>;

// A serial port: its configuration, opening and closing, queued writing,
// reading of what has arrived, RTS control and the line events it reports.
//
// All operations are called on the main thread, and every event handler runs
// there. While the port is open an event thread reports line events and a
// write thread empties the write queue; both hand their reports to the main
// thread and wait until they have run. Every failure raises EVaCommError.
//
// Data flow on input: whoever reads the device (the event thread, or a read
// that finds too few bytes queued) appends to the component's own receive
// queue, which drops zero bytes when the line settings ask for it.
class TVaCustomComm : public TVaComponent
{
public:
    explicit TVaCustomComm(QObject *parent = nullptr);
    ~TVaCustomComm() override;

    // Configuration.
    bool AutoOpen() const { return m_autoOpen; }
    void setAutoOpen(bool value) { m_autoOpen = value; }
    TVaBaudrate Baudrate() const { return m_baudrate; }
    void setBaudrate(TVaBaudrate value);
    int UserBaudrate() const { return m_userBaudrate; }
    void setUserBaudrate(int value);
    TVaParity Parity() const { return m_parity; }
    void setParity(TVaParity value);
    TVaDatabits Databits() const { return m_databits; }
    void setDatabits(TVaDatabits value);
    TVaStopbits Stopbits() const { return m_stopbits; }
    void setStopbits(TVaStopbits value);
    TVaCommOptions Options() const { return m_options; }
    void setOptions(TVaCommOptions value);
    TVaEventChars *EventChars() const { return m_eventChars.get(); }
    void setEventChars(const TVaEventChars &value);
    TVaFlowControl *FlowControl() const { return m_flowControl.get(); }
    void setFlowControl(const TVaFlowControl &value);
    TVaBuffers *Buffers() const { return m_buffers.get(); }
    void setBuffers(const TVaBuffers &value);
    int PortNum() const { return m_portNum; }
    void setPortNum(int value);
    QString DeviceName() const { return m_deviceName; }
    void setDeviceName(const QString &value);
    TVaCommEvents MonitorEvents() const { return m_monitorEvents; }
    void setMonitorEvents(TVaCommEvents value);
    TThreadPriority EventPriority() const { return m_eventPriority; }
    void setEventPriority(TThreadPriority value);
    TThreadPriority WritePriority() const { return m_writePriority; }
    void setWritePriority(TThreadPriority value);
    // How long Close waits once the device is closed, so that the device
    // settles before anything opens it again (300 ms). A caller that closes
    // many ports at once sets 0 and waits once after the last one.
    static constexpr int DefaultPauseAfterCloseMs = 300;
    int PauseAfterClose() const { return m_pauseAfterCloseMs; }
    void setPauseAfterClose(int milliseconds) { m_pauseAfterCloseMs = qMax(milliseconds, 0); }
    bool DirectWrite() const { return m_directWrite; }
    void setDirectWrite(bool value);
    bool UpdateDCB() const { return m_updateDcb; }
    void setUpdateDCB(bool value);
    QString Version() const;
    void setVersion(const QString &) {}

    // Events.
    void setOnOpen(TNotifyEvent handler) { m_onOpen = std::move(handler); }
    void setOnClose(TNotifyEvent handler) { m_onClose = std::move(handler); }
    void setOnCts(TNotifyEvent handler) { m_onCts = std::move(handler); }
    void setOnDsr(TNotifyEvent handler) { m_onDsr = std::move(handler); }
    void setOnRlsd(TNotifyEvent handler) { m_onRlsd = std::move(handler); }
    void setOnRing(TNotifyEvent handler) { m_onRing = std::move(handler); }
    void setOnBreak(TNotifyEvent handler) { m_onBreak = std::move(handler); }
    void setOnRxFlag(TNotifyEvent handler) { m_onRxFlag = std::move(handler); }
    void setOnTxEmpty(TNotifyEvent handler)
    {
        m_txEmptyWanted = bool(handler);
        m_onTxEmpty = std::move(handler);
    }
    void setOnPErr(TNotifyEvent handler) { m_onPErr = std::move(handler); }
    void setOnRx80Full(TNotifyEvent handler) { m_onRx80Full = std::move(handler); }
    void setOnEvent1(TNotifyEvent handler) { m_onEvent1 = std::move(handler); }
    void setOnEvent2(TNotifyEvent handler) { m_onEvent2 = std::move(handler); }
    void setOnError(TVaCommErrorEvent handler) { m_onError = std::move(handler); }
    void setOnRxChar(TVaCommRxCharEvent handler) { m_onRxChar = std::move(handler); }
    const TVaCommRxCharEvent &OnRxChar() const { return m_onRxChar; }

    // Reports the end of StartOpen (not of Open, which raises instead).
    void setOnOpenFinished(TVaCommOpenFinishedEvent handler)
    {
        m_onOpenFinished = std::move(handler);
    }

    // Operations.
    // Opens and returns once the port is open, raising on failure. A network
    // port waits for its server up to 5 s; the thread's events go on being
    // handled meanwhile. Built on StartOpen.
    void Open();
    // Starts opening and returns at once; OnOpenFinished reports the end as an
    // event of this thread, with the error Open would raise. The device is
    // opened on a thread of its own and configured here when it has opened, so
    // one thread can open any number of ports at once. No nested event loop.
    void StartOpen();
    // Ends a running open now: it fails with "Operation canceled", reported
    // before this returns (Open raises it). Does nothing when none runs.
    void AbortOpen();
    // Also ends a running open, without reporting it (Open raises the cancel).
    void Close();
    bool IsOpen() const { return m_device != nullptr; }
    // Why the open device went away (see CommDevice::removalCause); empty
    // while it works or when no device is open.
    QString RemovalCause() const;
    bool IsOpening() const { return m_opener != nullptr; }
    int WriteBuf(const char *buffer, int count);
    int ReadBuf(char *buffer, int count);
    bool ReadChar(char &ch);
    void SetRts(bool state);
    void ResetDevice();
    int InQueueCount();
    void ReadCommStatus(quint32 &errors, CommStatus &status);
    // After the component was configured as a whole: opens when AutoOpen is set.
    virtual void Loaded();

    // Called on the main thread by the serial threads.
    // Whether OnTxEmpty is set; the write thread asks from its own thread.
    bool WantsTxEmpty() const { return m_txEmptyWanted.load(); }

    virtual void HandleRxChar();
    virtual void HandleEvents(quint32 mask);

    // The device path: DeviceName formatted with PortNum, then resolved.
    QString DevicePath() const;
    // The line settings record that ApplyLineSettings writes, built on `current`.
    LineSettings ComposeLineSettings(const LineSettings &current) const;
    // The event mask computed from MonitorEvents at the last ApplyEventMask.
    quint32 EventMask() const { return m_eventMask; }
    void ApplyLineSettings();

protected:
    // Opens the device on this thread; only for devices that open at once.
    virtual void OpenDevice();
    virtual void StartThreads();
    bool event(QEvent *event) override;

private:
    void CheckClosed() const;
    struct OpenWaiter;
    void BeginOpen(const QString &path);
    void FinishOpen();
    void KillOpen();
    void AdoptDevice(const QString &path, std::unique_ptr<CommDevice> device, int code);
    void ConfigureOpenedDevice();
    static EVaCommError OpenError(const QString &path, int code);
    void ApplyBufferSizes();
    void ApplyTimeouts();
    void ApplyEventMask();
    void StopThreads();
    void CheckThreadEvents(const CommWorkerThread &thread) const;
    void CloseDevice();
    void DoOpen();
    void DoClose();
    void HandleError();
    void EscapeFunction(CommFunction function);
    int DirectWriteBuf(const char *buffer, int count);
    int pullAndTake(char *buffer, int count);
    static bool stillRunning(const QPointer<TVaCustomComm> &self, quint64 generation);
    [[noreturn]] static void RaiseCommError(const QString &format);
    static void CheckCommResult(bool ok, const QString &format);

    bool m_autoOpen = false;
    TVaBaudrate m_baudrate = br1200;
    int m_userBaudrate = 0;
    TVaParity m_parity = paNone;
    TVaDatabits m_databits = db8;
    TVaStopbits m_stopbits = sb1;
    TVaCommOptions m_options;
    int m_portNum = 0;
    QString m_deviceName = QStringLiteral("COM%d");
    TVaCommEvents m_monitorEvents{ceError, ceRxChar, ceTxEmpty};
    TThreadPriority m_eventPriority = tpNormal;
    TThreadPriority m_writePriority = tpHighest;
    int m_pauseAfterCloseMs = DefaultPauseAfterCloseMs;
    bool m_directWrite = false;
    bool m_updateDcb = true;

    std::unique_ptr<TVaFlowControl> m_flowControl;
    std::unique_ptr<TVaEventChars> m_eventChars;
    std::unique_ptr<TVaBuffers> m_buffers;

    TNotifyEvent m_onOpen, m_onClose, m_onCts, m_onDsr, m_onRlsd, m_onRing, m_onBreak, m_onRxFlag,
        m_onTxEmpty, m_onPErr, m_onRx80Full, m_onEvent1, m_onEvent2;
    TVaCommErrorEvent m_onError;
    TVaCommRxCharEvent m_onRxChar;
    TVaCommOpenFinishedEvent m_onOpenFinished;
    std::atomic<bool> m_txEmptyWanted{false};

    // Run-time state.
    std::shared_ptr<CommDevice> m_device;
    std::shared_ptr<ReceiveQueue> m_receiveQueue;
    quint32 m_eventMask = 0;
    std::unique_ptr<TVaCommEventThread> m_eventThread;
    std::unique_ptr<TVaCommWriteThread> m_writeThread;
    std::shared_ptr<MainThreadHandover> m_handover;
    // The running open, and the Open call that waits for it, if any.
    std::unique_ptr<DeviceOpener> m_opener;
    std::shared_ptr<OpenWaiter> m_openWaiter;
    TVaCriticalSection ReadLock;
    TVaCriticalSection WriteLock;
    // Counts opens and closes, so a handler run can tell that the port was
    // closed (and maybe opened again) underneath it.
    quint64 m_generation = 0;
    // Errors that status reads took from the device before an error event reported them.
    quint32 m_unreportedErrors = 0;
    bool m_closing = false;
    bool m_destroying = false;
};
