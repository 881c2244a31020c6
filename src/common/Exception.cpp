#include "Exception.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

Exception::Exception(const QString &message)
    : std::runtime_error(visibleText(message).toStdString()), m_message(visibleText(message))
{}

QString Exception::visibleText(QString text)
{
    return text.replace(QChar(0), QChar(0x2400));
}

EConvertError EConvertError::notInteger(const QString &text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
}

EConvertError EConvertError::notBoolean(const QString &text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid boolean value").arg(text));
}

EInOutError::EInOutError(int code, const QString &message) : Exception(message), m_code(code) {}

EInOutError EInOutError::fromErrno(int err, const QString &path)
{
    switch (err) {
    case ENOENT:
        // A missing folder on the way is a bad name, a missing last component a missing file.
        if (!path.isEmpty() && !QFileInfo(path).absoluteDir().exists())
            return EInOutError(3, QStringLiteral("Invalid filename"));
        return EInOutError(2, QStringLiteral("File not found"));
    case ENOTDIR:
    case ENAMETOOLONG:
        return EInOutError(3, QStringLiteral("Invalid filename"));
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return EInOutError(5, QStringLiteral("File access denied"));
    case ENOSPC:
#ifdef EDQUOT // no quotas in the Windows C library
    case EDQUOT:
#endif
    case EFBIG:
        return EInOutError(101, QStringLiteral("Disk full"));
    default:
        return EInOutError(err, QStringLiteral("I/O error %1").arg(err));
    }
}

EInOutError EInOutError::readBeyondEnd()
{
    return EInOutError(100, QStringLiteral("Read beyond end of file"));
}

EInOutError EInOutError::notRegularFile()
{
    return EInOutError(5, QStringLiteral("File access denied"));
}

EInOutError EInOutError::tooLarge(const QString &path, qint64 limit)
{
    return EInOutError(
        EFBIG, QStringLiteral("File too large: '%1' has more than %2 bytes").arg(path).arg(limit));
}
