// The window's settings and brightness records: their mapping to the
// controls, the protocol rule, the brightness value check and the files.
#include "DataFile.h"
#include "MessageRow.h"
#include "SettingsPage.h"
#include "TForm1.h"
#include "UserDialogs.h"
#include "ui_TForm1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace {

const QString DefaultSettingsFile = QStringLiteral("Default.esv");
const QString DefaultBrightnessFile = QStringLiteral("Default.hsv");

template <std::size_t N> QByteArray asBytes(const std::array<std::uint8_t, N> &record)
{
    return QByteArray(reinterpret_cast<const char *>(record.data()), qsizetype(N));
}

// Reads the first N bytes of a file into `record`. A short file overwrites
// only the beginning of the record and then fails.
template <std::size_t N> void readRecord(const QString &path, std::array<std::uint8_t, N> &record)
{
    QByteArray partial;
    QByteArray data;
    try {
        data = DataFile::readBlock(path, qsizetype(N), &partial);
    } catch (...) {
        std::copy(partial.begin(), partial.end(), record.begin());
        throw;
    }
    std::copy(data.begin(), data.end(), record.begin());
}

} // namespace

void TForm1::SettingsTelegramFromControls()
{
    m_settingsTelegram = SettingsTelegram::assemble(*m_settingsPage);
}

void TForm1::SettingsTelegramToControls()
{
    SettingsTelegram::spread(m_settingsTelegram, *m_settingsPage);
}

void TForm1::RadioGroup4Click()
{
    const bool zoma = m_ui->RadioGroup4->itemIndex() == 6;
    for (QWidget *w :
         {static_cast<QWidget *>(m_ui->RadioGroup5), static_cast<QWidget *>(m_ui->RadioGroup6),
          static_cast<QWidget *>(m_ui->ComboBox1), static_cast<QWidget *>(m_ui->MaskEdit1),
          static_cast<QWidget *>(m_ui->MaskEdit2)})
        w->setEnabled(!zoma);
    m_ui->GroupBox5->setVisible(!zoma);
    m_ui->GroupBox6->setVisible(!zoma);
}

QList<MaskEdit *> TForm1::brightnessFields() const
{
    return {m_ui->MaskEdit18, m_ui->MaskEdit3,  m_ui->MaskEdit4,  m_ui->MaskEdit5,
            m_ui->MaskEdit6,  m_ui->MaskEdit7,  m_ui->MaskEdit8,  m_ui->MaskEdit9,
            m_ui->MaskEdit10, m_ui->MaskEdit11, m_ui->MaskEdit12, m_ui->MaskEdit13,
            m_ui->MaskEdit14, m_ui->MaskEdit15, m_ui->MaskEdit16, m_ui->MaskEdit17};
}

void TForm1::BrightnessTelegramFromControls()
{
    QStringList texts;
    for (const MaskEdit *field : brightnessFields())
        texts << field->text();
    BrightnessTelegram::assemble(texts, m_brightnessTelegram);
}

void TForm1::BrightnessTelegramToControls()
{
    const QStringList texts = BrightnessTelegram::fieldTexts(m_brightnessTelegram);
    const QList<MaskEdit *> fields = brightnessFields();
    for (int n = 0; n < BrightnessTelegram::ValueCount; ++n)
        fields[n]->setText(texts[n]);
}

void TForm1::BrightnessValueCheck(MaskEdit *field)
{
    if (BrightnessTelegram::isValueTextInRange(field->text()))
        return;
    m_dialogs.warning(this, messageText(MessageRow::BrightnessOutOfRange));
    field->setFocus(Qt::OtherFocusReason);
}

void TForm1::connectBrightnessChecks()
{
    void (TForm1::*const handlers[])() = {
        &TForm1::MaskEdit18Exit, &TForm1::MaskEdit3Exit,  &TForm1::MaskEdit4Exit,
        &TForm1::MaskEdit5Exit,  &TForm1::MaskEdit6Exit,  &TForm1::MaskEdit7Exit,
        &TForm1::MaskEdit8Exit,  &TForm1::MaskEdit9Exit,  &TForm1::MaskEdit10Exit,
        &TForm1::MaskEdit11Exit, &TForm1::MaskEdit12Exit, &TForm1::MaskEdit13Exit,
        &TForm1::MaskEdit14Exit, &TForm1::MaskEdit15Exit, &TForm1::MaskEdit16Exit,
        &TForm1::MaskEdit17Exit};
    const QList<MaskEdit *> fields = brightnessFields();
    for (int n = 0; n < BrightnessTelegram::ValueCount; ++n)
        bind(fields[n], &MaskEdit::exited, handlers[n]);
}

void TForm1::MaskEdit18Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit18);
}
void TForm1::MaskEdit3Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit3);
}
void TForm1::MaskEdit4Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit4);
}
void TForm1::MaskEdit5Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit5);
}
void TForm1::MaskEdit6Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit6);
}
void TForm1::MaskEdit7Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit7);
}
void TForm1::MaskEdit8Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit8);
}
void TForm1::MaskEdit9Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit9);
}
void TForm1::MaskEdit10Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit10);
}
void TForm1::MaskEdit11Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit11);
}
void TForm1::MaskEdit12Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit12);
}
void TForm1::MaskEdit13Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit13);
}
void TForm1::MaskEdit14Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit14);
}
void TForm1::MaskEdit15Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit15);
}
void TForm1::MaskEdit16Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit16);
}
void TForm1::MaskEdit17Exit()
{
    BrightnessValueCheck(m_ui->MaskEdit17);
}

void TForm1::loadSettingsFile(const QString &path)
{
    readRecord(path, m_settingsTelegram);
    SettingsTelegramToControls();
}

void TForm1::loadBrightnessFile(const QString &path)
{
    readRecord(path, m_brightnessTelegram);
    BrightnessTelegramToControls();
}

void TForm1::loadDefaultFiles()
{
    if (QFile::exists(DefaultSettingsFile))
        loadSettingsFile(DefaultSettingsFile);
    if (QFile::exists(DefaultBrightnessFile))
        loadBrightnessFile(DefaultBrightnessFile);
}

void TForm1::loadFileFromCommandLine(const QString &path)
{
    // The extension decides, as the file dialogs' filters do; a file named
    // otherwise is known by its first bytes.
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool settings = suffix == QLatin1String("esv");
    bool brightness = suffix == QLatin1String("hsv");
    if (!settings && !brightness) {
        QFile file(path);
        const QByteArray start = file.open(QIODevice::ReadOnly) ? file.read(3) : QByteArray();
        settings = start.startsWith("\x1bZ");
        brightness = start.startsWith("\x1bHT");
    }
    if (settings) {
        loadSettingsFile(path);
        m_ui->PageControl1->setActivePage(m_ui->TabSheet2);
    } else if (brightness) {
        loadBrightnessFile(path);
    } else {
        throw std::runtime_error(
            QStringLiteral("%1 is neither a settings file (.esv) nor a brightness file (.hsv).")
                .arg(QDir::toNativeSeparators(path))
                .toStdString());
    }
}

void TForm1::Button3Click()
{
    const QString path = m_dialogs.saveFileName(this, m_fileDialogs.SaveDialog1);
    if (path.isEmpty())
        return;
    SettingsTelegramFromControls();
    DataFile::writeAtomically(path, asBytes(m_settingsTelegram));
}

void TForm1::Button4Click()
{
    const QString path = m_dialogs.openFileName(this, m_fileDialogs.OpenDialog1);
    if (!path.isEmpty())
        loadSettingsFile(path);
}

void TForm1::Button1Click()
{
    const QString path = m_dialogs.saveFileName(this, m_fileDialogs.SaveDialog2);
    if (path.isEmpty())
        return;
    // Assembled first: a field that is no number writes no file at all.
    BrightnessTelegramFromControls();
    DataFile::writeAtomically(path, asBytes(m_brightnessTelegram));
}

void TForm1::Button2Click()
{
    const QString path = m_dialogs.openFileName(this, m_fileDialogs.OpenDialog2);
    if (!path.isEmpty())
        loadBrightnessFile(path);
}
