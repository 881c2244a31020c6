#include "UserDialogs.h"

#include "ApplicationTitle.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

void DesktopDialogs::warning(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, ApplicationTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

void DesktopDialogs::error(QWidget *parent, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

bool DesktopDialogs::question(QWidget *parent, const QString &caption, const QString &text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    return box.exec() == QMessageBox::Yes;
}

QString DesktopDialogs::openFileName(QWidget *parent, FileDialogSettings &dialog)
{
    return runFileDialog(parent, dialog, false);
}

QString DesktopDialogs::saveFileName(QWidget *parent, FileDialogSettings &dialog)
{
    return runFileDialog(parent, dialog, true);
}

// Turns "Description|*.ext" into the form QFileDialog reads.
static QString qtFilter(const QString &filter)
{
    const QString description = filter.section(u'|', 0, 0);
    const QString pattern = filter.section(u'|', 1, 1);
    if (pattern.isEmpty() || description.contains(QLatin1Char('(') + pattern + u')'))
        return description;
    return QStringLiteral("%1 (%2)").arg(description, pattern);
}

QString DesktopDialogs::runFileDialog(QWidget *parent, FileDialogSettings &dialog, bool save)
{
    QFileDialog box(parent);
    box.setObjectName(dialog.name);
    box.setNameFilter(qtFilter(dialog.filter));
    box.setDefaultSuffix(dialog.defaultSuffix);
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // A missing file is reported when it is opened, with the usual error text.
    box.setFileMode(QFileDialog::AnyFile);
    box.setOption(QFileDialog::DontConfirmOverwrite, !(save && dialog.overwritePrompt));
    box.setSizeGripEnabled(true);
    if (!dialog.lastFile.isEmpty())
        box.selectFile(dialog.lastFile);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return QString();
    dialog.lastFile = box.selectedFiles().constFirst();
    return dialog.lastFile;
}

void DialogGate::dismissOpenDialogs()
{
    while (QWidget *popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup)
            break;
    }
    // The innermost first: a file dialog's overwrite prompt before the dialog.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
}

void DialogGate::warning(QWidget *parent, const QString &text)
{
    if (!m_closed)
        m_dialogs.warning(parent, text);
}

void DialogGate::error(QWidget *parent, const QString &caption, const QString &text)
{
    if (!m_closed) {
        m_dialogs.error(parent, caption, text);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    std::fflush(stderr);
}

bool DialogGate::question(QWidget *parent, const QString &caption, const QString &text)
{
    return !m_closed && m_dialogs.question(parent, caption, text);
}

QString DialogGate::openFileName(QWidget *parent, FileDialogSettings &dialog)
{
    return m_closed ? QString() : m_dialogs.openFileName(parent, dialog);
}

QString DialogGate::saveFileName(QWidget *parent, FileDialogSettings &dialog)
{
    return m_closed ? QString() : m_dialogs.saveFileName(parent, dialog);
}
