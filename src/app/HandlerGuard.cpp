#include "HandlerGuard.h"

#include "ApplicationTitle.h"
#include "Exception.h"
#include "UserDialogs.h"

bool HandlerGuard::run(const std::function<void()> &handler) const
{
    QString message;
    try {
        handler();
        return true;
    } catch (const Exception &e) {
        message = e.message();
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    }
    m_dialogs.error(m_window, ApplicationTitle, errorBoxText(message));
    return false;
}

QString HandlerGuard::errorBoxText(const QString &message)
{
    return message.endsWith(u'.') ? message : message + u'.';
}
