#pragma once

#include "UserDialogs.h"

#include <QStringList>
#include <functional>

// Stands in for the desktop's boxes and file dialogs: records every message,
// answers file dialogs from a queue, and lets a test act while a box "is open".
class RecordingDialogs : public UserDialogs
{
public:
    struct FileRequest
    {
        QString dialog;
        bool overwritePrompt;
        QString filter;
        QString defaultSuffix;
    };

    QStringList warnings;
    QStringList errors; // "caption|text"
    QStringList questions;
    QList<FileRequest> fileRequests;
    QStringList fileAnswers; // taken from the front; empty text = cancel
    std::function<void()> onWarning;

    void warning(QWidget *, const QString &text) override
    {
        warnings << text;
        if (onWarning)
            onWarning();
    }
    void error(QWidget *, const QString &caption, const QString &text) override
    {
        errors << caption + u'|' + text;
    }
    bool question(QWidget *, const QString &caption, const QString &text) override
    {
        questions << caption + u'|' + text;
        return true;
    }
    QString openFileName(QWidget *, FileDialogSettings &dialog) override { return answer(dialog); }
    QString saveFileName(QWidget *, FileDialogSettings &dialog) override { return answer(dialog); }

    void clear()
    {
        warnings.clear();
        errors.clear();
        questions.clear();
        fileRequests.clear();
    }

private:
    QString answer(FileDialogSettings &dialog)
    {
        fileRequests.append(
            {dialog.name, dialog.overwritePrompt, dialog.filter, dialog.defaultSuffix});
        const QString path = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (!path.isEmpty())
            dialog.lastFile = path;
        return path;
    }
};
