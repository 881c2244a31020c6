#include "SimulatorCommandLine.h"

#include <QCommandLineParser>
#include <cmath>

namespace {

constexpr int LastSettingsOffset = 29;

} // namespace

SimulatorCommandLine SimulatorCommandLine::parse(const QStringList &arguments)
{
    SimulatorCommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Plays a PANTRIX display on an RFC 2217 (Telnet COM port control) port, so that the\n"
        "configurator can be tried without hardware. Connect it to rfc2217://HOST:PORT."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the program's version and exit."));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral(
            "Address and port to listen on (default 127.0.0.1:7020; port 0 takes a free one)."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption fast(QStringLiteral("fast"),
                                  QStringLiteral("Send at once instead of at the line's speed."));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Never send anything."));
    const QCommandLineOption answer(
        QStringLiteral("answer"),
        QStringLiteral("Answer RTS with BYTE instead of ACK (decimal or 0x hex)."),
        QStringLiteral("BYTE"));
    const QCommandLineOption corrupt(
        QStringLiteral("corrupt-echo"),
        QStringLiteral("Flip bit 0 of the echo byte at OFFSET (0 to 29)."),
        QStringLiteral("OFFSET"));
    const QCommandLineOption enqInEcho(QStringLiteral("enq-in-echo"),
                                       QStringLiteral("Put an ENQ into the middle of every echo."));
    const QCommandLineOption stopEnq(
        QStringLiteral("stop-enq-after"),
        QStringLiteral("Send no more ENQ once RTS has been high this long."),
        QStringLiteral("SECONDS"));
    const QCommandLineOption drop(
        QStringLiteral("drop-after"),
        QStringLiteral("Close each connection this long after accepting it."),
        QStringLiteral("SECONDS"));
    parser.addOptions(
        {help, version, listen, fast, silent, answer, corrupt, enqInEcho, stopEnq, drop});
    // A local device needs termios; the Windows build serves RFC 2217 only.
#ifndef Q_OS_WIN
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("Play the display on the local serial device PATH instead of an RFC 2217 "
                       "port: a real port behind a null-modem cable, or a pseudo-terminal. The "
                       "PC's RTS arrives as CTS."),
        QStringLiteral("PATH"));
    parser.addOption(serial);
#endif
    result.m_helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        result.fail(parser.errorText());
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.fail(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
        return result;
    }
    result.m_help = parser.isSet(help);
    result.m_version = parser.isSet(version);
    if (parser.isSet(listen) && !parseListen(parser.value(listen), result.m_address, result.m_port))
        result.fail(
            QStringLiteral("--listen needs HOST:PORT with an IP address or localhost, not '%1'.")
                .arg(parser.value(listen)));
#ifndef Q_OS_WIN
    if (parser.isSet(serial)) {
        result.m_serialPath = parser.value(serial);
        if (result.m_serialPath.isEmpty())
            result.fail(QStringLiteral("--serial needs the path of a serial device."));
        else if (parser.isSet(listen))
            result.fail(QStringLiteral("--serial and --listen exclude each other."));
        else if (parser.isSet(drop))
            result.fail(QStringLiteral("--drop-after closes RFC 2217 connections; it does not "
                                       "apply to --serial."));
    }
#endif
    result.m_options.fast = parser.isSet(fast);
    result.m_options.silent = parser.isSet(silent);
    result.m_options.enqInEcho = parser.isSet(enqInEcho);
    if (parser.isSet(answer)) {
        if (const auto byte = parseByte(parser.value(answer)))
            result.m_options.rtsAnswer = *byte;
        else
            result.fail(
                QStringLiteral("--answer needs a byte from 0 to 255 (or 0x00 to 0xFF), not '%1'.")
                    .arg(parser.value(answer)));
    }
    if (parser.isSet(corrupt)) {
        bool ok = false;
        const int offset = parser.value(corrupt).toInt(&ok);
        if (ok && offset >= 0 && offset <= LastSettingsOffset)
            result.m_options.corruptEchoOffset = offset;
        else
            result.fail(QStringLiteral("--corrupt-echo needs an offset from 0 to 29, not '%1'.")
                            .arg(parser.value(corrupt)));
    }
    for (const auto &[option, target] : {std::pair{&stopEnq, &result.m_options.stopEnqAfter},
                                         std::pair{&drop, &result.m_options.dropAfter}}) {
        if (!parser.isSet(*option))
            continue;
        *target = parseSeconds(parser.value(*option));
        if (!*target)
            result.fail(QStringLiteral("--%1 needs a number of seconds, not '%2'.")
                            .arg(option->names().first(), parser.value(*option)));
    }
    return result;
}

void SimulatorCommandLine::fail(const QString &message)
{
    if (m_error.isEmpty())
        m_error = message;
}

bool SimulatorCommandLine::parseListen(const QString &text, QHostAddress &address, quint16 &port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535)
        return false;
    QHostAddress parsed;
    if (host == QLatin1String("localhost"))
        parsed = QHostAddress(QHostAddress::LocalHost);
    else if (!parsed.setAddress(host))
        return false;
    address = parsed;
    port = quint16(number);
    return true;
}

std::optional<quint8> SimulatorCommandLine::parseByte(const QString &text)
{
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const uint value = hex ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok, 10);
    if (!ok || value > 255 || (hex && text.size() == 2))
        return std::nullopt;
    return quint8(value);
}

std::optional<std::chrono::milliseconds> SimulatorCommandLine::parseSeconds(const QString &text)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    // A day is far beyond any test session and keeps the milliseconds within a timer's range.
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 86400)
        return std::nullopt;
    return std::chrono::milliseconds(qint64(std::llround(seconds * 1000)));
}
