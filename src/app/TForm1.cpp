#include "TForm1.h"

#include "ApplicationTitle.h"
#include "BuiltInPictures.h"
#include "Conversions.h"
#include "HandlerGuard.h"
#include "LineMonitorWindow.h"
#include "MessageRow.h"
#include "RadioButtons.h"
#include "ScrollablePages.h"
#include "SettingsPage.h"
#include "StateFile.h"
#include "UserDialogs.h"
#include "ui_TForm1.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <cstdio>
#include <utility>

namespace {

// Tab positions among the visible tabs once the brightness tab is hidden.
constexpr int SettingsTab = 2;
constexpr int UserStringTab = 3;

} // namespace

TForm1::TForm1(UserDialogs *dialogs, QWidget *parent)
    : QMainWindow(parent), m_ui(std::make_unique<Ui::TForm1>()),
      m_ownDialogs(dialogs ? nullptr : std::make_unique<DesktopDialogs>()),
      m_dialogGate(std::make_unique<DialogGate>(dialogs ? *dialogs : *m_ownDialogs)),
      m_dialogs(*m_dialogGate), m_guard(std::make_unique<HandlerGuard>(this, m_dialogs))
{
    m_ui->setupUi(this);
    m_layoutMessages.writeFallbackTexts();
    m_settingsPage = std::make_unique<SettingsPage>(*m_ui);
    QFont infoFont(QStringLiteral("Times New Roman"));
    infoFont.setPixelSize(24);
    infoFont.setBold(true);
    m_ui->Panel2->setFont(infoFont);
    createLink();
    createPortsPanel();
    showBuiltInPictures();
    ScrollablePages::apply(m_ui->PageControl1);
    ScrollablePages::fitToScreen(this);
    connectHandlers();
}

TForm1::~TForm1()
{
    m_guard->run([this] { FormDestroy(); });
}

void TForm1::showBuiltInPictures()
{
    m_ui->Image1->setPixmap(QPixmap::fromImage(BuiltInPictures::bottomLeft()));
    m_ui->Image2->setPixmap(QPixmap::fromImage(BuiltInPictures::bottomRight()));
    // The Info page's picture is drawn when the page is first shown, unless a
    // picture file took its place by then: the start-up need not wait for it.
    m_ui->Image3->installEventFilter(this);
}

void TForm1::connectHandlers()
{
    bind(m_ui->PageControl1, &PageControl::change, &TForm1::PageControl1Change);
    bind(m_ui->RadioGroup4, &RadioGroup::itemSelected, &TForm1::RadioGroup4Click);
    bind(m_ui->RadioGroup8, &RadioGroup::itemSelected, &TForm1::RadioGroup8Click);
    // A tick set by the program runs the handler exactly as the user's click.
    bind(m_ui->CheckBox1, &QCheckBox::toggled, &TForm1::CheckBox1Click);
    bind(m_ui->Button3, &QPushButton::clicked, &TForm1::Button3Click);
    bind(m_ui->Button4, &QPushButton::clicked, &TForm1::Button4Click);
    bind(m_ui->Button1, &QPushButton::clicked, &TForm1::Button1Click);
    bind(m_ui->Button2, &QPushButton::clicked, &TForm1::Button2Click);
    bind(m_ui->ComboBox2, &ComboBox::change, &TForm1::ComboBox2Change);
    bind(m_ui->Button9, &QPushButton::clicked, &TForm1::Button9Click);
    bind(m_ui->Button10, &QPushButton::clicked, &TForm1::Button10Click);
    bind(m_ui->Button6, &QPushButton::clicked, &TForm1::Button6Click);
    bind(m_ui->Button11, &QPushButton::clicked, &TForm1::Button11Click);
    bind(m_ui->Button8, &QPushButton::clicked, &TForm1::Button8Click);
    bind(m_ui->Button7, &QPushButton::clicked, &TForm1::Button7Click);
    bind(m_ui->Button12, &QPushButton::clicked, &TForm1::Button12Click);
    bind(m_ui->Button13, &QPushButton::clicked, &TForm1::Button13Click);
    m_ui->Edit1->installEventFilter(this);
    connectBrightnessChecks();
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    // Start-up runs as soon as the event loop runs, so that its error boxes
    // and the offline handler live inside the loop and a termination signal
    // can still end the program while one of them is open.
    QMetaObject::invokeMethod(this, &TForm1::runStartup, Qt::QueuedConnection);
}

void TForm1::runStartup()
{
    if (m_startupRan || m_closed)
        return;
    m_startupRan = true;
    m_guard->run([this] { FormShow(); });
    // Each file on its own: one that fails with its box leaves the others to load.
    for (const QString &path : std::exchange(m_filesToOpen, {})) {
        if (m_closed)
            break;
        m_guard->run([this, &path] { loadFileFromCommandLine(path); });
    }
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    if (m_link->isWaiting() || m_closing) {
        // A handler still waits for the display, or this close came from
        // inside the close itself (its error box): end the wait now and close
        // once it and the close under way have returned.
        m_closeRequested = true;
        endWaits();
        event->ignore();
        // Not at once: retrying without pause would spin while a wait unwinds.
        if (!m_closing)
            QTimer::singleShot(20, this, &QWidget::close);
        return;
    }
    m_closing = true;
    // A signal right after the program started may come before the start-up:
    // it runs first, so that the state file keeps what it held.
    if (m_shown)
        runStartup();
    writeStateFileAtClose();
    m_closing = false;
    // The window closes even when its state file could not be written. From
    // now on no box opens, and a handler that is still on the stack (one that
    // showed a box) ends without waiting for anything.
    m_closed = true;
    m_closeRequested = true;
    m_dialogGate->close();
    if (m_lineMonitorWindow)
        m_lineMonitorWindow->close();
    event->accept();
    emit closed();
}

void TForm1::writeStateFileAtClose()
{
    m_stateFileAttempted = true;
    if (!m_dialogGate->isClosed()) {
        m_guard->run([this] { FormClose(); });
        return;
    }
    // No one is there to read a box: the reason goes to standard error.
    try {
        FormClose();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s: %s not written: %s\n", qPrintable(ApplicationTitle),
                     qPrintable(QDir::current().absoluteFilePath(StateFile::FileName)),
                     qPrintable(HandlerGuard::errorBoxText(QString::fromUtf8(error.what()))));
        std::fflush(stderr);
    }
}

void TForm1::closeOnTermination()
{
    m_dialogGate->close();
    DialogGate::dismissOpenDialogs();
    close();
}

void TForm1::saveStateBeforeExit()
{
    m_dialogGate->close();
    if (!m_stateFileAttempted)
        writeStateFileAtClose();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->Image3 && event->type() == QEvent::Show && !m_infoPictureSet) {
        m_infoPictureSet = true;
        m_ui->Image3->setPixmap(QPixmap::fromImage(BuiltInPictures::info()));
    }
    if (watched == m_ui->Edit1 && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            m_guard->run([this, key] { Edit1KeyPress(key); });
            return true; // the Esc character itself adds nothing to the text
        }
        // Enter sends the string, as the button beside it would.
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !m_ui->Button12->isHidden() && m_ui->Button12->isEnabled()) {
            m_ui->Button12->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormShow()
{
    m_ui->ComboBox1->setItemIndex(0);
    m_ui->PageControl1->setActivePage(m_ui->TabSheet1);
    showStatus(QString(36, u' '));
    m_languageColumn = m_ui->RadioGroup8->itemIndex() + 1;
    m_savedLanguageIndex = QStringLiteral("0");
    m_ui->Button12->setVisible(!m_ui->CheckBox1->isChecked());
    readStateFile();
    languageFileStep();
    loadDefaultFiles();
    m_ui->PageControl1->setPageTabVisible(m_ui->TabSheet3, false);
    m_ui->RadioButton3->setVisible(false);
    RadioButtons::setChecked(m_ui->RadioButton3, false);
    RadioButtons::setChecked(m_ui->RadioButton4, true);
}

void TForm1::readStateFile()
{
    if (!QFile::exists(StateFile::FileName))
        return;
    const QStringList lines = StateFile::readLines(StateFile::FileName);
    m_ui->ComboBox2->setItemIndex(Conversions::strToInt(lines[0]));
    applyPortChoice();
    RadioButtons::setChecked(m_ui->RadioButton3, Conversions::strToBool(lines[1]));
    RadioButtons::setChecked(m_ui->RadioButton4, Conversions::strToBool(lines[2]));
    m_ui->CheckBox1->setChecked(Conversions::strToBool(lines[3]));
    m_savedLanguageIndex = lines[4];
    m_ui->RadioGroup8->setItemIndex(Conversions::strToInt(lines[4]));
}

void TForm1::FormClose()
{
    ApplicationState state;
    state.portIndex = m_ui->ComboBox2->itemIndex();
    state.version1 = m_ui->RadioButton3->isChecked();
    state.version2 = m_ui->RadioButton4->isChecked();
    state.offline = m_ui->CheckBox1->isChecked();
    state.languageIndex = m_ui->RadioGroup8->itemIndex();
    StateFile::write(StateFile::FileName, state);
}

void TForm1::PageControl1Change()
{
    const int tab = m_ui->PageControl1->tabIndex();
    if (tab == UserStringTab)
        m_ui->Edit1->setFocus();
    if (!m_ui->CheckBox1->isChecked() && (tab == SettingsTab || tab == UserStringTab) &&
        !connected()) {
        m_ui->PageControl1->setActivePage(m_ui->TabSheet1);
        m_dialogs.warning(this, messageText(MessageRow::SelectPortFirst));
    }
}

QString TForm1::messageText(int row) const
{
    // Before the language step has filled the table (an offline tick restored
    // from the state file), and with no language chosen, messages speak the
    // window's layout language.
    if (!m_languageStepStarted || m_languageColumn == 0)
        return m_layoutMessages.message(1, row);
    return m_languageTable.message(m_languageColumn, row);
}

void TForm1::showStatus(const QString &text)
{
    m_ui->StatusBar1->setText(text);
}

QString TForm1::statusText() const
{
    return m_ui->StatusBar1->text();
}
