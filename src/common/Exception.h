#pragma once

#include <QString>
#include <stdexcept>

// Base of every error the program raises and a handler does not catch. It carries
// one message text (UTF-8 inside); the window's handler guard shows it in an
// error box and the program goes on.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const QString &message);
    QString message() const;
};

// A text that should have been a number or a boolean.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
    static EConvertError notInteger(const QString &text);
    static EConvertError notBoolean(const QString &text);
};

// A failed file operation; the texts are those the user has always seen.
class EInOutError : public Exception
{
public:
    EInOutError(int code, const QString &message);
    int code() const { return m_code; }

    // Maps an errno value of an operation on `path` to its text.
    static EInOutError fromErrno(int err, const QString &path);
    static EInOutError readBeyondEnd();

private:
    int m_code;
};
