// The device link of the window: port choice, connect handshake and close,
// offline working, contact supervision, the receive path, the telegram
// transfers and the user string.
#include "ApplicationExceptionHandler.h"
#include "DeviceNameFormat.h"
#include "EventLoopWait.h"
#include "MessageRow.h"
#include "OpenFailureReport.h"
#include "StatusLine.h"
#include "TForm1.h"
#include "TVaComm.h"
#include "UserDialogs.h"
#include "UserString.h"
#include "VaComm1Configuration.h"
#include "Win1252.h"
#include "platform/CommTypes.h"
#include "platform/PortNameResolver.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTimer>

namespace {

constexpr std::uint8_t Enq = 0x05;
constexpr std::uint8_t Ack = 0x06;
constexpr int ReplyTimeoutMs = 3000;
constexpr int ConnectPauseMs = 500;
const QByteArray ReadSettingsRequest("\x1b"
                                     "YA\r\n",
                                     5);
const QByteArray ReadBrightnessRequest("\x1b"
                                       "St\r\n",
                                       5);

// Sets an interval only when it differs: a new interval restarts a running timer.
void enableTimer(QTimer *timer, int interval)
{
    if (timer->interval() != interval)
        timer->setInterval(interval);
    if (!timer->isActive())
        timer->start();
}

// The busy cursor for as long as an operation runs, whatever way it ends.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

template <std::size_t N>
bool sameBytes(const std::array<std::uint8_t, ReplyState::BufferSize> &reply,
               const std::array<std::uint8_t, N> &telegram)
{
    return std::equal(telegram.begin(), telegram.end(), reply.begin());
}

} // namespace

// Counts the waits on the stack, so that closing the port or the window can
// end them at once.
class TForm1::WaitScope
{
public:
    explicit WaitScope(TForm1 &form) : m_form(form) { ++m_form.m_waitDepth; }
    ~WaitScope()
    {
        // Once the last wait has ended, new waits run normally again; while
        // the window is closing every wait ends at once.
        if (--m_form.m_waitDepth == 0 && !m_form.m_closeRequested)
            m_form.m_endWaits = false;
    }
    WaitScope(const WaitScope &) = delete;
    WaitScope &operator=(const WaitScope &) = delete;

private:
    TForm1 &m_form;
};

void TForm1::createPort()
{
    VaComm1 = new TVaComm(this);
    VaComm1->setObjectName(QStringLiteral("VaComm1"));
    configureAsVaComm1(*VaComm1);
    // Errors of the port's own reports reach the user like every other error.
    ApplicationExceptionHandler::setHandler(
        [this](const std::exception &error) { m_guard->report(error); });
    VaComm1->setOnRxChar([this](QObject *, int) { m_guard->run([this] { VaComm1RxChar(); }); });
    VaComm1->setOnError([this](QObject *, int errors) {
        if (errors & CommError::DeviceIo)
            m_guard->run([this] { portLost(); });
    });
}

void TForm1::FormDestroy()
{
    ApplicationExceptionHandler::setHandler({});
    if (VaComm1->IsOpen())
        VaComm1->Close();
}

void TForm1::applyPortChoice()
{
    VaComm1->setPortNum(m_ui->ComboBox2->itemIndex() + 1);
    // Tells the user which device or port server the chosen port reaches.
    const bool chosen = m_ui->ComboBox2->itemIndex() >= 0;
    m_ui->ComboBox2->setToolTip(chosen ? PortNameResolver::describe(FormatDeviceName(
                                             VaComm1->DeviceName(), VaComm1->PortNum()))
                                       : QString());
}

void TForm1::ComboBox2Change()
{
    applyPortChoice();
}

void TForm1::waitForReply(const std::function<bool()> &done)
{
    WaitScope scope(*this);
    EventLoopWait::until([&] { return done() || m_endWaits; });
}

void TForm1::discardStaleInput()
{
    // Bytes left over from before a request cannot belong to its reply; read
    // as its start they would shift every byte of it.
    char byte = 0;
    while (VaComm1->ReadChar(byte)) {
        if (std::uint8_t(byte) == Enq)
            m_reply.alive = true;
    }
}

void TForm1::prepareReply(int expectedLength)
{
    m_reply.prepare(expectedLength);
    m_reply.timeOut = false;
    enableTimer(m_timers[0], ReplyTimeoutMs);
}

void TForm1::endWaits()
{
    if (m_waitDepth == 0)
        return;
    // The waiting operation ends as if its time had run out.
    m_reply.timeOut = true;
    m_timers[0]->stop();
    m_endWaits = true;
    VaComm1->AbortOpen();
}

void TForm1::warnUnlessClosing(int row)
{
    if (!m_closeRequested)
        m_dialogs.warning(this, messageText(row));
}

void TForm1::Button9Click()
{
    if (m_connecting)
        return;
    m_connected = false;
    showStatus(QString(33, u' '));
    if (m_ui->ComboBox2->itemIndex() < 0) {
        m_dialogs.warning(this, m_ui->ComboBox2->text());
        m_timers[0]->stop();
        return;
    }
    // The connect cannot be started again while it runs.
    m_connecting = true;
    m_ui->Button9->setEnabled(false);
    m_ui->Panel3->setEnabled(false);
    auto restore = qScopeGuard([this] {
        m_timers[0]->stop();
        m_connecting = false;
        m_ui->Panel3->setEnabled(true);
        m_ui->Button9->setEnabled(!m_connected);
    });
    showStatus(messageText(MessageRow::OpeningPort) + QString(18, u' '));
    BusyCursor busy;
    VaComm1->ResetDevice();
    try {
        // Opening a network port waits for its server; closing the window ends that wait.
        WaitScope scope(*this);
        VaComm1->Open();
    } catch (const std::exception &error) {
        VaComm1->Close();
        showStatus(messageText(MessageRow::CannotOpenPort) + QString(10, u' '));
        reportOpenFailure(*m_ui->StatusBar1,
                          FormatDeviceName(VaComm1->DeviceName(), VaComm1->PortNum()), error);
        return;
    }
    connectHandshake();
}

void TForm1::connectHandshake()
{
    enableTimer(m_timers[2], ConnectPauseMs);
    m_reply.pause = false;
    waitForReply([this] { return m_reply.pause; });
    if (!m_reply.pause) { // the wait was ended: the window closes or the port went away
        VaComm1->Close();
        showStatus(messageText(MessageRow::AckTimeout));
        return;
    }
    discardStaleInput();
    VaComm1->SetRts(true);
    showStatus(messageText(MessageRow::WaitingForAck));
    prepareReply(1);
    waitForReply([this] { return m_reply.replyComplete || m_reply.timeOut; });
    if (m_reply.timeOut || m_reply.buffer[0] != Ack) {
        const int row = m_reply.timeOut ? MessageRow::AckTimeout : MessageRow::AckTransferError;
        lowerRtsAndClose();
        showStatus(messageText(row));
        return;
    }
    m_timers[0]->stop();
    showStatus(messageText(MessageRow::DeviceConnected));
    m_ui->Panel3->setVisible(false);
    m_ui->ComboBox2->setEnabled(false);
    m_ui->Button9->setEnabled(false);
    m_ui->Button10->setEnabled(true);
    m_connected = true;
    m_timers[1]->start();
}

void TForm1::lowerRtsAndClose()
{
    if (VaComm1->IsOpen()) {
        try {
            VaComm1->SetRts(false);
        } catch (const std::exception &) {
            // A device or server that is gone cannot lower RTS; the port is
            // closed all the same, so the window never keeps a dead port open.
        }
    }
    VaComm1->Close();
}

void TForm1::Button10Click()
{
    endWaits();
    m_timers[1]->stop();
    showStatus(QString(33, u' '));
    lowerRtsAndClose();
    m_ui->Button10->setEnabled(false);
    m_ui->Button9->setEnabled(true);
    m_ui->ComboBox2->setEnabled(true);
    m_connected = false;
    m_ui->PageControl1->setActivePage(m_ui->TabSheet1);
    m_ui->Panel3->setVisible(true);
}

void TForm1::contactLost()
{
    m_timers[1]->stop();
    Button10Click();
    showStatus(messageText(MessageRow::ContactLost));
}

void TForm1::portLost()
{
    // An adapter that went away while connected is a lost contact at once.
    if (m_connected)
        contactLost();
    else
        endWaits();
}

void TForm1::Timer1Timer()
{
    m_reply.timeOut = true;
    m_timers[0]->stop();
}

void TForm1::Timer2Timer()
{
    if (!m_ui->RadioButton4->isChecked())
        return;
    if (m_reply.alive) {
        m_reply.alive = false;
        return;
    }
    contactLost();
}

void TForm1::Timer3Timer()
{
    m_reply.pause = true;
}

void TForm1::VaComm1RxChar()
{
    char byte = 0;
    // ENQ is the display's alive signal, never part of a reply's start. Bytes
    // that came in the same burst behind it are read now: they would not be
    // reported again until the next byte arrives.
    do {
        if (!VaComm1->ReadChar(byte))
            return;
        if (std::uint8_t(byte) == Enq)
            m_reply.alive = true;
    } while (std::uint8_t(byte) == Enq);
    m_reply.buffer[0] = std::uint8_t(byte);
    int count = 1;
    m_reply.alive = true;
    // Bytes that no operation waits for are collected for a bounded time only.
    const bool stray = m_waitDepth == 0;
    bool strayExpired = false;
    QTimer strayLimit;
    if (stray) {
        strayLimit.setSingleShot(true);
        connect(&strayLimit, &QTimer::timeout, this, [&strayExpired] { strayExpired = true; });
        strayLimit.start(ReplyTimeoutMs);
    }
    const int expected = std::min(m_reply.expectedLength, ReplyState::BufferSize);
    WaitScope scope(*this);
    while (count < expected && !m_reply.timeOut && !strayExpired && !m_endWaits &&
           VaComm1->IsOpen()) {
        m_reply.alive = true;
        if (VaComm1->ReadChar(byte)) {
            m_reply.buffer[count++] = std::uint8_t(byte);
            continue;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    m_reply.replyComplete = true;
}

void TForm1::CheckBox1Click()
{
    const bool offline = m_ui->CheckBox1->isChecked();
    if (offline)
        showStatus(messageText(MessageRow::OfflineMode) + QString(21, u' '));
    else
        showStatus(QString(36, u' '));
    for (QWidget *w :
         {static_cast<QWidget *>(m_ui->Panel4), static_cast<QWidget *>(m_ui->Button6),
          static_cast<QWidget *>(m_ui->Button11), static_cast<QWidget *>(m_ui->Button8),
          static_cast<QWidget *>(m_ui->Button12), static_cast<QWidget *>(m_ui->Button7),
          static_cast<QWidget *>(m_ui->RadioButton4)})
        w->setVisible(!offline);
    if (offline)
        m_ui->RadioButton3->setVisible(false);
}

// One transfer: the page is disabled and the busy cursor shown for its
// duration, and both are restored however it ends.
template <typename Body> void TForm1::transfer(QWidget *page, Body body)
{
    page->setEnabled(false);
    BusyCursor busy;
    auto restore = qScopeGuard([this, page] {
        m_timers[0]->stop();
        page->setEnabled(true);
    });
    body();
}

void TForm1::sendTelegram(const QByteArray &telegram)
{
    discardStaleInput();
    VaComm1->WriteBuf(telegram.constData(), int(telegram.size()));
    waitForReply([this] { return m_reply.replyComplete || m_reply.timeOut; });
    if (m_reply.timeOut)
        warnUnlessClosing(MessageRow::ConfirmationTimeout);
    if (!std::equal(telegram.begin(), telegram.end(), m_reply.buffer.begin(),
                    [](char a, std::uint8_t b) { return std::uint8_t(a) == b; }))
        warnUnlessClosing(MessageRow::TransferError);
}

bool TForm1::requestTelegram(const QByteArray &request)
{
    discardStaleInput();
    VaComm1->WriteBuf(request.constData(), int(request.size()));
    waitForReply([this] { return m_reply.replyComplete || m_reply.timeOut; });
    if (m_reply.timeOut) {
        warnUnlessClosing(MessageRow::DataTimeout);
        return false;
    }
    return true;
}

void TForm1::Button6Click()
{
    transfer(m_ui->TabSheet2, [this] {
        prepareReply(SettingsTelegram::Size);
        SettingsTelegramFromControls();
        sendTelegram(QByteArray(reinterpret_cast<const char *>(m_settingsTelegram.data()),
                                SettingsTelegram::Size));
    });
}

void TForm1::Button11Click()
{
    transfer(m_ui->TabSheet2, [this] {
        prepareReply(SettingsTelegram::Size);
        if (!requestTelegram(ReadSettingsRequest))
            return;
        std::copy_n(m_reply.buffer.begin(), SettingsTelegram::Size, m_settingsTelegram.begin());
        SettingsTelegramToControls();
    });
}

void TForm1::Button8Click()
{
    transfer(m_ui->TabSheet3, [this] {
        prepareReply(BrightnessTelegram::Size);
        BrightnessTelegramFromControls();
        sendTelegram(QByteArray(reinterpret_cast<const char *>(m_brightnessTelegram.data()),
                                BrightnessTelegram::Size));
    });
}

void TForm1::Button7Click()
{
    transfer(m_ui->TabSheet3, [this] {
        prepareReply(BrightnessTelegram::Size);
        if (!requestTelegram(ReadBrightnessRequest))
            return;
        std::copy_n(m_reply.buffer.begin(), BrightnessTelegram::Size, m_brightnessTelegram.begin());
        BrightnessTelegramToControls();
    });
}

void TForm1::Edit1KeyPress(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return;
    QLineEdit *edit = m_ui->Edit1;
    edit->setText(edit->text() + QStringLiteral("#027"));
    // The caret moves once the new text is shown, as a pressed End key would.
    QCoreApplication::postEvent(edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier));
}

void TForm1::Button13Click()
{
    QLineEdit *edit = m_ui->Edit1;
    edit->setText(edit->text() + QStringLiteral("#027C"));
    edit->setFocus(Qt::OtherFocusReason); // no select-all: that comes only with tab focus
    edit->deselect();
    edit->setCursorPosition(int(edit->text().size()));
}

void TForm1::Button12Click()
{
    m_sendText = m_ui->Edit1->text();
    m_ui->Edit1->setFocus(Qt::OtherFocusReason);
    SendUserString();
}

void TForm1::SendUserString()
{
    const std::optional<QByteArray> bytes = UserString::expand(Win1252::fromUnicode(m_sendText));
    if (!bytes) {
        m_dialogs.warning(this, messageText(MessageRow::BadUserStringEscape));
        return;
    }
    if (!bytes->isEmpty())
        VaComm1->WriteBuf(bytes->constData(), int(bytes->size()));
}
