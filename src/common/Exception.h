#pragma once

#include <QString>
#include <stdexcept>

// Base of every error the program raises and a handler does not catch. It carries
// one message text; the window's handler guard shows it in an error box and the
// program goes on. The text is kept whole as a QString: a zero byte that came
// from a file is shown as the symbol for null (U+2400) instead of cutting the
// text short, and what() holds the same text in UTF-8.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const QString &message);
    QString message() const { return m_message; }

    // The text with every zero character replaced by its visible symbol.
    static QString visibleText(QString text);

private:
    QString m_message;
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
    // Anything but a regular file: a folder, FIFO, device or socket.
    static EInOutError notRegularFile();
    // A file larger than any real file of its kind.
    static EInOutError tooLarge(const QString &path, qint64 limit);

private:
    int m_code;
};
