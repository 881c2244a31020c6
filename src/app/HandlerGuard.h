#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;
class UserDialogs;

// Runs one handler of the window so that no exception crosses the event
// loop: an error that the handler does not catch ends it and is shown in an
// error box with the application's title, and the program goes on.
class HandlerGuard
{
public:
    HandlerGuard(QWidget *window, UserDialogs &dialogs) : m_window(window), m_dialogs(dialogs) {}

    // Returns false when the handler ended with an error.
    bool run(const std::function<void()> &handler) const;

    // Shows an error that was caught elsewhere, as run() would.
    void report(const std::exception &error) const;

    // The error's text with a full stop, unless it already ends with one.
    static QString errorBoxText(const QString &message);

private:
    QWidget *m_window;
    UserDialogs &m_dialogs;
};
