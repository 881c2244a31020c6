#pragma once

#include "RecordingDialogs.h"
#include "TForm1.h"
#include "ui_TForm1.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

// A window in a fresh working directory of its own, with recorded dialogs.
// Files the start-up reads are written with `writeFile` before `show`.
class FormFixture
{
public:
    FormFixture() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~FormFixture()
    {
        form.reset();
        QDir::setCurrent(m_previous);
    }

    // A message row's text in the window's layout language (German).
    static QString germanMessage(int row)
    {
        LanguageTable german;
        german.writeFallbackTexts();
        return german.message(1, row);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    void writeFile(const QString &name, const QByteArray &content) const
    {
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    }
    QByteArray readFile(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TForm1 &create()
    {
        form = std::make_unique<TForm1>(&dialogs);
        return *form;
    }
    TForm1 &show()
    {
        if (!form)
            create();
        form->show();
        // Start-up runs once the event loop has turned.
        QCoreApplication::processEvents();
        return *form;
    }
    Ui::TForm1 &ui() { return form->ui(); }

    RecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};
