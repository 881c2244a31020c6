#pragma once

#include <QCommandLineParser>
#include <QJsonObject>
#include <QString>
#include <QTextStream>
#include <functional>
#include <stdexcept>

// What every subcommand of pantrix-cli shares: where it writes, whether it
// writes JSON, and how its result becomes the exit status.
namespace Cli {

enum ExitStatus
{
    Success = 0, // everything asked for was done
    Failed = 1,  // at least one display or file failed; the output says which and why
    Usage = 2    // the command line was wrong; nothing was done
};

// A wrong command line: the message goes to standard error, the status is Usage.
class UsageError : public std::runtime_error
{
public:
    explicit UsageError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

class Output
{
public:
    Output(QTextStream &out, QTextStream &err, bool json) : m_out(out), m_err(err), m_json(json) {}

    bool json() const { return m_json; }
    // One line for the reader (not in JSON mode).
    void line(const QString &text);
    // One JSON object on a line of its own (in JSON mode).
    void object(const QJsonObject &object);
    // A message to standard error, e.g. "COM3: no ACK".
    void error(const QString &text);
    QTextStream &out() { return m_out; }

private:
    QTextStream &m_out;
    QTextStream &m_err;
    bool m_json;
};

struct Command
{
    QString name;
    QString summary;
    // Adds the command's options and positional arguments to its parser.
    std::function<void(QCommandLineParser &)> declare;
    // Runs the command on the parsed command line; returns an ExitStatus.
    std::function<int(const QCommandLineParser &, Output &)> run;
};

} // namespace Cli
