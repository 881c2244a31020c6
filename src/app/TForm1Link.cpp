// The window's side of the device link: port choice, connect and close,
// offline working, and the transfers and the user string as the window shows
// them. The link itself (handshake, supervision, receive path, echo check)
// is DisplayLink's; these handlers turn its outcomes into status texts and
// boxes.
#include "ApplicationExceptionHandler.h"
#include "DetailLine.h"
#include "LineMonitor.h"
#include "LineMonitorWindow.h"
#include "PortsPanel.h"
#include "DetailTexts.h"
#include "DisplayLink.h"
#include "MessageRow.h"
#include "OpenFailureReport.h"
#include "StatusLine.h"
#include "TForm1.h"
#include "TVaComm.h"
#include "UserDialogs.h"
#include "UserString.h"
#include "Win1252.h"
#include "platform/PortNameResolver.h"
#include "platform/PortsMap.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTime>
#include <cstdio>
#include <stdexcept>

namespace {

// The busy cursor for as long as an operation runs, whatever way it ends.
class BusyCursor
{
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

template <std::size_t N> QByteArray bytesOf(const std::array<std::uint8_t, N> &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.data()), qsizetype(N));
}

QString timeNow()
{
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
}

QString hexByte(quint8 byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000);
}

template <std::size_t N>
void replaceRecord(std::array<std::uint8_t, N> &record, const QByteArray &bytes)
{
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                std::min<std::size_t>(N, std::size_t(bytes.size())), record.begin());
}

} // namespace

void TForm1::createLink()
{
    m_link = new DisplayLink(this);
    VaComm1 = m_link->port();
    // Errors of the port's own reports reach the user like every other error.
    ApplicationExceptionHandler::setHandler(
        [this](const std::exception &error) { m_guard->report(error); });
    // Supervision applies with "Version 2" only.
    m_link->setSupervisionCondition([this] { return m_ui->RadioButton4->isChecked(); });
    connect(m_link, &DisplayLink::waitingForAck, this,
            [this] { showStatus(messageText(MessageRow::WaitingForAck)); });
    // A silent display and an adapter that went away end the connection alike.
    bind(m_link, &DisplayLink::contactLost, &TForm1::contactLost);
    bind(m_link, &DisplayLink::portLost, &TForm1::portLost);
}

QString TForm1::detailRowText(int row, const QStringList &arguments) const
{
    QString text = messageText(row);
    if (text.trimmed().isEmpty())
        text = DetailTexts::english(row);
    for (const QString &argument : arguments)
        text = text.arg(argument);
    return text;
}

void TForm1::showFailureDetail(const QString &text)
{
    // An operation that a close ended failed for no reason worth telling.
    if (m_closeRequested)
        return;
    m_ui->DetailLine1->showFailure(text);
    std::fputs(("pantrix: " + text + '\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void TForm1::showSuccessDetail(int row, const QStringList &arguments)
{
    m_ui->DetailLine1->showSuccess(detailRowText(row, QStringList(arguments) << timeNow()));
}

QString TForm1::detailText() const
{
    return m_ui->DetailLine1->text();
}

bool TForm1::connected() const
{
    return m_link->isConnected();
}

QTimer *TForm1::timer(int number) const
{
    return m_link->timer(number);
}

const ReplyState &TForm1::replyState() const
{
    return m_link->replyState();
}

void TForm1::FormDestroy()
{
    ApplicationExceptionHandler::setHandler({});
    if (VaComm1->IsOpen())
        VaComm1->Close();
}

void TForm1::applyPortChoice()
{
    m_link->setPortNumber(m_ui->ComboBox2->itemIndex() + 1);
    // Tells the user which device or port server the chosen port reaches.
    const bool chosen = m_ui->ComboBox2->itemIndex() >= 0;
    m_ui->ComboBox2->setToolTip(chosen ? m_link->portDescription() : QString());
    m_portTarget->setText(chosen ? m_link->portDescription() : QString());
    m_portsPanel->setComNumber(m_ui->ComboBox2->itemIndex() + 1);
}

void TForm1::createPortsPanel()
{
    // Beside the port choice: what it reaches; under it: the devices present.
    m_portTarget = new QLabel(m_ui->TabSheet1);
    m_portTarget->setObjectName(QStringLiteral("PortTarget"));
    m_portTarget->setTextFormat(Qt::PlainText);
    m_portTarget->setWordWrap(true);
    m_portTarget->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_portTarget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_ui->TabSheet1Row->insertWidget(m_ui->TabSheet1Row->indexOf(m_ui->Panel4) + 1, m_portTarget,
                                     1);
    m_lineMonitorButton = new QPushButton(m_ui->Panel4);
    m_lineMonitorButton->setObjectName(QStringLiteral("LineMonitorButton"));
    m_ui->Panel4Layout->addWidget(m_lineMonitorButton);
    connect(m_lineMonitorButton, &QPushButton::clicked, this, &TForm1::openLineMonitor);
    m_portsPanel = new PortsPanel(m_ui->TabSheet1);
    m_ui->TabSheet1Layout->insertWidget(m_ui->TabSheet1Layout->indexOf(m_ui->TabSheet1Row) + 1,
                                        m_portsPanel, 1);
    applyPortsPanelTexts();
    connect(m_portsPanel, &PortsPanel::useAsRequested, this,
            [this](int number, const QString &target) {
                m_guard->run([this, number, target] { usePortFor(number, target); });
            });
}

void TForm1::applyPortsPanelTexts()
{
    PortsPanel::Texts texts;
    texts.title = detailRowText(MessageRow::PortsPanelTitle);
    texts.useAs = messageText(MessageRow::PortsPanelUseAs);
    if (texts.useAs.trimmed().isEmpty())
        texts.useAs = DetailTexts::english(MessageRow::PortsPanelUseAs);
    texts.none = detailRowText(MessageRow::PortsPanelNone);
    m_portsPanel->setTexts(texts);
    m_lineMonitorButton->setText(detailRowText(MessageRow::LineMonitorButton));
}

void TForm1::openLineMonitor()
{
    if (!m_lineMonitorWindow) {
        m_lineMonitor = new LineMonitor(LineMonitor::DefaultCapacity, this);
        m_lineMonitorWindow = new LineMonitorWindow(m_lineMonitor, m_dialogs, this);
        m_lineMonitorWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_link->setLineMonitor(m_lineMonitor);
        // The ring goes after the window that shows it.
        connect(m_lineMonitorWindow, &QObject::destroyed, m_lineMonitor, &QObject::deleteLater);
        connect(m_lineMonitorWindow, &LineMonitorWindow::closed, this, [this] {
            // Closed, the link records nothing.
            m_link->setLineMonitor(nullptr);
            m_lineMonitor = nullptr;
            m_lineMonitorWindow = nullptr;
        });
    }
    m_lineMonitorWindow->show();
    m_lineMonitorWindow->raise();
    m_lineMonitorWindow->activateWindow();
}

QString TForm1::portTargetText() const
{
    return m_portTarget->text();
}

void TForm1::usePortFor(int comNumber, const QString &target)
{
    m_ui->DetailLine1->clear();
    const QString file = PortsMap::filePath();
    const QString error = PortsMap::assign(file, comNumber, target);
    if (!error.isEmpty()) {
        showFailureDetail(error);
        m_dialogs.warning(this, error);
        return;
    }
    applyPortChoice();
    // A PANTRIX_COMn variable still decides over the file: saying "now reaches"
    // would be wrong.
    const PortNameResolver::Resolution now =
        PortNameResolver::lookup(QStringLiteral("COM%1").arg(comNumber));
    if (now.source == PortNameResolver::Source::Environment) {
        showFailureDetail(QStringLiteral("COM %1 is written to %2, but the environment variable "
                                         "%3 still makes it reach %4.")
                              .arg(comNumber)
                              .arg(QDir::toNativeSeparators(file), now.origin, now.target));
        return;
    }
    showSuccessDetail(MessageRow::PortsPanelMapped, {QString::number(comNumber), target,
                                                     QDir::toNativeSeparators(file)});
}

void TForm1::ComboBox2Change()
{
    applyPortChoice();
}

void TForm1::endWaits()
{
    // The waiting operation ends as if its time had run out; an open that
    // waits for a port server ends at once.
    m_link->cancel();
}

void TForm1::warnUnlessClosing(int row)
{
    if (!m_closeRequested)
        m_dialogs.warning(this, messageText(row));
}

void TForm1::Button9Click()
{
    // Once the window has closed, nothing waits for the display any more.
    if (m_connecting || m_closed)
        return;
    showStatus(QString(33, u' '));
    m_ui->DetailLine1->clear();
    if (m_ui->ComboBox2->itemIndex() < 0) {
        m_dialogs.warning(this, m_ui->ComboBox2->text());
        return;
    }
    // The connect cannot be started again while it runs.
    m_connecting = true;
    m_ui->Button9->setEnabled(false);
    m_ui->Panel3->setEnabled(false);
    auto restore = qScopeGuard([this] {
        m_connecting = false;
        m_ui->Panel3->setEnabled(true);
        m_ui->Button9->setEnabled(!connected());
    });
    showStatus(messageText(MessageRow::OpeningPort) + QString(18, u' '));
    BusyCursor busy;
    showConnectOutcome(m_link->connectDisplay());
}

void TForm1::showConnectOutcome(const ConnectOutcome &outcome)
{
    switch (outcome.result) {
    case ConnectOutcome::Result::Connected:
        showStatus(messageText(MessageRow::DeviceConnected));
        m_ui->Panel3->setVisible(false);
        m_ui->ComboBox2->setEnabled(false);
        m_ui->Button9->setEnabled(false);
        m_ui->Button10->setEnabled(true);
        showSuccessDetail(MessageRow::DetailConnected, {m_link->portDescription()});
        return;
    case ConnectOutcome::Result::OpenFailed:
        showStatus(messageText(MessageRow::CannotOpenPort) + QString(10, u' '));
        reportOpenFailure(*m_ui->StatusBar1, outcome.explanation);
        m_ui->DetailLine1->showFailure(outcome.explanation);
        return;
    case ConnectOutcome::Result::WrongAnswer:
        showStatus(messageText(MessageRow::AckTransferError));
        showFailureDetail(detailRowText(MessageRow::DetailWrongAnswer, {hexByte(outcome.answer)}));
        return;
    case ConnectOutcome::Result::PortFailed:
        // Reported like every error the port raises; the port is closed already.
        throw std::runtime_error(outcome.reason.toStdString());
    case ConnectOutcome::Result::NoAck:
    case ConnectOutcome::Result::PortLost:
    case ConnectOutcome::Result::Cancelled:
        showStatus(messageText(MessageRow::AckTimeout));
        if (outcome.result == ConnectOutcome::Result::NoAck)
            showFailureDetail(detailRowText(MessageRow::DetailNoAck,
                                            {seconds(DisplayLink::ReplyTimeoutMs)}));
        else if (outcome.result == ConnectOutcome::Result::PortLost)
            showFailureDetail(detailRowText(MessageRow::DetailPortLost, {outcome.reason}));
        return;
    }
}

void TForm1::Button10Click()
{
    endWaits();
    showStatus(QString(33, u' '));
    m_link->close();
    m_ui->Button10->setEnabled(false);
    m_ui->Button9->setEnabled(true);
    m_ui->ComboBox2->setEnabled(true);
    m_ui->PageControl1->setActivePage(m_ui->TabSheet1);
    m_ui->Panel3->setVisible(true);
}

void TForm1::contactLost()
{
    Button10Click();
    showStatus(messageText(MessageRow::ContactLost));
    showFailureDetail(detailRowText(MessageRow::DetailNoSignOfLife,
                                    {seconds(DisplayLink::SupervisionIntervalMs)}));
}

void TForm1::portLost()
{
    const QString cause = m_link->lossCause();
    Button10Click();
    showStatus(messageText(MessageRow::ContactLost));
    showFailureDetail(detailRowText(MessageRow::DetailPortLost, {cause}));
}

// The link runs its timers and its receive path itself; these handlers run a
// tick or a receive by hand.
void TForm1::Timer1Timer()
{
    m_link->replyTimerTick();
}

void TForm1::Timer2Timer()
{
    m_link->supervisionTick();
}

void TForm1::Timer3Timer()
{
    m_link->pauseTick();
}

void TForm1::VaComm1RxChar()
{
    m_link->receive();
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
    if (m_closed)
        return;
    page->setEnabled(false);
    m_ui->DetailLine1->clear();
    BusyCursor busy;
    auto restore = qScopeGuard([page] { page->setEnabled(true); });
    body();
}

void TForm1::showSendOutcome(const SendOutcome &outcome, const QByteArray &sent, int successRow)
{
    const QByteArray &received = outcome.received;
    switch (outcome.result) {
    case SendOutcome::Result::Echoed:
        showSuccessDetail(successRow);
        break;
    case SendOutcome::Result::TimedOut:
        showFailureDetail(detailRowText(
            MessageRow::DetailEchoIncomplete,
            {QString::number(received.size()), QString::number(sent.size()),
             seconds(DisplayLink::ReplyTimeoutMs)}));
        break;
    case SendOutcome::Result::EchoDiffers: {
        qsizetype at = 0;
        while (at < received.size() && at < sent.size() && received[at] == sent[at])
            ++at;
        const auto byteAt = [](const QByteArray &bytes, qsizetype index) {
            return index < bytes.size() ? hexByte(quint8(bytes[index])) : QStringLiteral("--");
        };
        showFailureDetail(detailRowText(MessageRow::DetailEchoDiffers,
                                        {QString::number(at + 1), byteAt(sent, at),
                                         byteAt(received, at)}));
        break;
    }
    }
    if (outcome.result == SendOutcome::Result::TimedOut)
        warnUnlessClosing(MessageRow::ConfirmationTimeout);
    if (outcome.echoDiffers())
        warnUnlessClosing(MessageRow::TransferError);
}

bool TForm1::readSucceeded(const ReadOutcome &outcome, int expectedSize, int successRow)
{
    if (outcome.result == ReadOutcome::Result::Done) {
        showSuccessDetail(successRow);
        return true;
    }
    showFailureDetail(detailRowText(MessageRow::DetailReplyIncomplete,
                                    {QString::number(outcome.bytes.size()),
                                     QString::number(expectedSize),
                                     seconds(DisplayLink::ReplyTimeoutMs)}));
    warnUnlessClosing(MessageRow::DataTimeout);
    return false;
}

void TForm1::Button6Click()
{
    transfer(m_ui->TabSheet2, [this] {
        SettingsTelegramFromControls();
        const QByteArray telegram = bytesOf(m_settingsTelegram);
        showSendOutcome(m_link->sendTelegram(telegram), telegram, MessageRow::DetailSettingsSent);
    });
}

void TForm1::Button11Click()
{
    transfer(m_ui->TabSheet2, [this] {
        const ReadOutcome outcome = m_link->readTelegram(DisplayLink::Telegram::Settings);
        if (!readSucceeded(outcome, int(m_settingsTelegram.size()), MessageRow::DetailSettingsRead))
            return;
        replaceRecord(m_settingsTelegram, outcome.bytes);
        SettingsTelegramToControls();
    });
}

void TForm1::Button8Click()
{
    transfer(m_ui->TabSheet3, [this] {
        BrightnessTelegramFromControls();
        const QByteArray telegram = bytesOf(m_brightnessTelegram);
        showSendOutcome(m_link->sendTelegram(telegram), telegram, MessageRow::DetailBrightnessSent);
    });
}

void TForm1::Button7Click()
{
    transfer(m_ui->TabSheet3, [this] {
        const ReadOutcome outcome = m_link->readTelegram(DisplayLink::Telegram::Brightness);
        if (!readSucceeded(outcome, int(m_brightnessTelegram.size()),
                           MessageRow::DetailBrightnessRead))
            return;
        replaceRecord(m_brightnessTelegram, outcome.bytes);
        BrightnessTelegramToControls();
    });
}

void TForm1::Edit1KeyPress(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return;
    QLineEdit *edit = m_ui->Edit1;
    edit->setText(edit->text() + QLatin1String(UserString::EscapeText));
    // The caret moves once the new text is shown, as a pressed End key would.
    QCoreApplication::postEvent(edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier));
}

void TForm1::Button13Click()
{
    QLineEdit *edit = m_ui->Edit1;
    edit->setText(edit->text() + QLatin1String(UserString::EscapeCText));
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
    m_ui->DetailLine1->clear();
    if (m_link->sendUserString(Win1252::fromUnicode(m_sendText)) == UserStringOutcome::BadEscape)
        m_dialogs.warning(this, messageText(MessageRow::BadUserStringEscape));
    else
        showSuccessDetail(MessageRow::DetailUserStringSent);
}
