#pragma once

#include "BrightnessTelegram.h"
#include "DisplayLink.h"
#include "FileDialogSet.h"
#include "HandlerGuard.h"
#include "LanguageTable.h"
#include "SettingsTelegram.h"

#include <QMainWindow>
#include <memory>

namespace Ui {
class TForm1;
}
class MaskEdit;
class LineMonitor;
class LineMonitorWindow;
class PortsPanel;
class QPushButton;
class QLabel;
class QKeyEvent;
class QTimer;
class TVaComm;
class SettingsPage;
class DialogGate;
class UserDialogs;

// The main window: six pages, the status line and the picture panel. It runs
// the start-up and close sequences and holds the handlers of its controls;
// each handler orchestrates controls and calls the subsystems that do the
// work (records in config/, texts in i18n/, the display link in link/).
class TForm1 : public QMainWindow
{
    Q_OBJECT

public:
    // `dialogs` replaces the desktop's message boxes and file dialogs (tests).
    explicit TForm1(UserDialogs *dialogs = nullptr, QWidget *parent = nullptr);
    ~TForm1() override;

    Ui::TForm1 &ui() { return *m_ui; }
    const LanguageTable &languageTable() const { return m_languageTable; }
    int languageColumn() const { return m_languageColumn; }
    bool connected() const;
    // The records in memory; a read or load replaces them, a send or save assembles them.
    SettingsTelegram::Bytes &settingsTelegram() { return m_settingsTelegram; }
    BrightnessTelegram::Bytes &brightnessTelegram() { return m_brightnessTelegram; }
    FileDialogSet &fileDialogs() { return m_fileDialogs; }
    QTimer *timer(int number) const;

    // Record files to load, each as its load button would, once the start-up
    // has run (the files of the command line, from the desktop's "Open with").
    void setFilesToOpen(const QStringList &paths) { m_filesToOpen = paths; }

    // Handlers, named after control and event.
    void FormShow();
    void FormClose();
    void FormDestroy();
    void PageControl1Change();
    void RadioGroup4Click();
    void RadioGroup8Click();
    void CheckBox1Click();
    void ComboBox2Change();
    void Button9Click();
    void Button10Click();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void VaComm1RxChar();
    void Button6Click();
    void Button11Click();
    void Button8Click();
    void Button7Click();
    void Edit1KeyPress(QKeyEvent *event);
    void Button13Click();
    void Button12Click();
    void Button3Click();
    void Button4Click();
    void Button1Click();
    void Button2Click();
    void MaskEdit18Exit();
    void MaskEdit3Exit();
    void MaskEdit4Exit();
    void MaskEdit5Exit();
    void MaskEdit6Exit();
    void MaskEdit7Exit();
    void MaskEdit8Exit();
    void MaskEdit9Exit();
    void MaskEdit10Exit();
    void MaskEdit11Exit();
    void MaskEdit12Exit();
    void MaskEdit13Exit();
    void MaskEdit14Exit();
    void MaskEdit15Exit();
    void MaskEdit16Exit();
    void MaskEdit17Exit();

    // Routines of the window that no event drives.
    void SettingsTelegramFromControls();
    void SettingsTelegramToControls();
    void BrightnessTelegramFromControls();
    void BrightnessTelegramToControls();
    void ApplyLanguage();
    void SendUserString();

    // The link to the display and its port, configured as the window's form gives it.
    DisplayLink &link() { return *m_link; }
    // The serial devices present and what the chosen COM port reaches.
    PortsPanel *portsPanel() const { return m_portsPanel; }
    QString portTargetText() const;
    // Opens the line monitor (or raises it): from now until it is closed the
    // link records its traffic there; closed, nothing is recorded.
    void openLineMonitor();
    LineMonitorWindow *lineMonitorWindow() const { return m_lineMonitorWindow; }
    TVaComm *VaComm1 = nullptr;
    const ReplyState &replyState() const;

    // Closes the window because the session ends (SIGTERM, SIGINT), as its
    // close button would, but without asking anyone: an open box or file
    // dialog is dismissed, none opens any more, and an error such as a state
    // file that cannot be written goes to standard error.
    void closeOnTermination();
    // Writes the state file now unless the close has done so already; for
    // an exit that cannot wait for the window to close.
    void saveStateBeforeExit();
    // The close was accepted: the state file is written, the window goes.
    bool isClosed() const { return m_closed; }

    // The text of a message row in the current language column.
    QString messageText(int row) const;
    void showStatus(const QString &text);
    QString statusText() const;
    // The detail line's text: the reason of the last failure or the last success.
    QString detailText() const;

signals:
    // Once, when the close is accepted.
    void closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Connects a control's event to a handler that runs inside the guard.
    template <typename Sender, typename Signal>
    void bind(Sender *sender, Signal signal, void (TForm1::*handler)())
    {
        connect(sender, signal, this,
                [this, handler] { m_guard->run([this, handler] { (this->*handler)(); }); });
    }
    // Construction and start-up (TForm1.cpp).
    void createLink();
    void showBuiltInPictures();
    void connectHandlers();
    void readStateFile();
    void runStartup();
    void writeStateFileAtClose();

    // Languages and pictures (TForm1Language.cpp).
    void languageFileStep();
    void loadPicture(int pictureIndex, const QString &path);
    void applyTexts();
    void applyItemLists();

    // Records, value checks and files (TForm1Data.cpp).
    void connectBrightnessChecks();
    void BrightnessValueCheck(MaskEdit *field);
    QList<MaskEdit *> brightnessFields() const;
    void loadSettingsFile(const QString &path);
    void loadBrightnessFile(const QString &path);
    void loadDefaultFiles();
    void loadFileFromCommandLine(const QString &path);

    // The device link as the window shows it (TForm1Link.cpp).
    void applyPortChoice();
    void createPortsPanel();
    void applyPortsPanelTexts();
    void usePortFor(int comNumber, const QString &target);
    void showConnectOutcome(const ConnectOutcome &outcome);
    void contactLost();
    void portLost();
    // The detail line (TForm1Link.cpp): a row's text from the language file,
    // else its English text, with its arguments filled in.
    QString detailRowText(int row, const QStringList &arguments = {}) const;
    void showFailureDetail(const QString &text);
    void showSuccessDetail(int row, const QStringList &arguments = {});
    void endWaits();
    void warnUnlessClosing(int row);
    template <typename Body> void transfer(QWidget *page, Body body);
    void showSendOutcome(const SendOutcome &outcome, const QByteArray &sent, int successRow);
    bool readSucceeded(const ReadOutcome &outcome, int expectedSize, int successRow);

    std::unique_ptr<Ui::TForm1> m_ui;
    std::unique_ptr<UserDialogs> m_ownDialogs;
    std::unique_ptr<DialogGate> m_dialogGate;
    UserDialogs &m_dialogs;
    std::unique_ptr<HandlerGuard> m_guard;
    std::unique_ptr<SettingsPage> m_settingsPage;
    DisplayLink *m_link = nullptr;
    PortsPanel *m_portsPanel = nullptr;
    QLabel *m_portTarget = nullptr;
    QPushButton *m_lineMonitorButton = nullptr;
    LineMonitor *m_lineMonitor = nullptr;
    LineMonitorWindow *m_lineMonitorWindow = nullptr;
    FileDialogSet m_fileDialogs;

    LanguageTable m_languageTable;
    LanguageTable m_layoutMessages;
    int m_languageColumn = 1;
    QString m_savedLanguageIndex = QStringLiteral("0");
    SettingsTelegram::Bytes m_settingsTelegram{};
    BrightnessTelegram::Bytes m_brightnessTelegram{};
    QString m_sendText;
    QStringList m_filesToOpen;
    bool m_closeRequested = false;
    bool m_connecting = false;
    bool m_shown = false;
    bool m_startupRan = false;
    bool m_closing = false;
    bool m_closed = false;
    bool m_stateFileAttempted = false;
    bool m_languageStepStarted = false;
    // The Info picture: built in (drawn on first show) or from a file.
    bool m_infoPictureSet = false;
};
