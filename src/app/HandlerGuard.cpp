#include "HandlerGuard.h"

#include "ApplicationTitle.h"
#include "Exception.h"
#include "UserDialogs.h"

bool HandlerGuard::run(const std::function<void()> &handler) const
{
    try {
        handler();
        return true;
    } catch (const std::exception &e) {
        report(e);
    }
    return false;
}

void HandlerGuard::report(const std::exception &error) const
{
    QString message;
    if (const auto *own = dynamic_cast<const Exception *>(&error))
        message = own->message();
    else if (dynamic_cast<const std::bad_alloc *>(&error))
        message = QStringLiteral("Out of memory");
    else
        message = QString::fromUtf8(error.what());
    m_dialogs.error(m_window, ApplicationTitle, errorBoxText(message));
}

QString HandlerGuard::errorBoxText(const QString &message)
{
    return message.endsWith(u'.') ? message : message + u'.';
}
