#pragma once

#include "DisplaySimOptions.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

// The command line of pantrix-display-sim, turned into the listening address
// and the display's options. It only reads the arguments; it prints nothing and
// never ends the program.
class SimulatorCommandLine
{
public:
    static constexpr quint16 DefaultPort = 7020;

    // The arguments include the program name first, as QCoreApplication::arguments().
    static SimulatorCommandLine parse(const QStringList &arguments);

    bool helpRequested() const { return m_help; }
    bool versionRequested() const { return m_version; }
    // Empty when the arguments were fine.
    QString error() const { return m_error; }
    QString helpText() const { return m_helpText; }

    QHostAddress address() const { return m_address; }
    quint16 port() const { return m_port; }
    // The local serial device to play the display on (--serial); empty for RFC 2217.
    QString serialPath() const { return m_serialPath; }
    DisplaySimOptions options() const { return m_options; }

    // "127.0.0.1:7020", "localhost:0", "[::1]:7020".
    static bool parseListen(const QString &text, QHostAddress &address, quint16 &port);
    // Decimal or 0x hexadecimal, 0 to 255.
    static std::optional<quint8> parseByte(const QString &text);
    static std::optional<std::chrono::milliseconds> parseSeconds(const QString &text);

private:
    void fail(const QString &message);

    bool m_help = false;
    bool m_version = false;
    QString m_error;
    QString m_helpText;
    QHostAddress m_address = QHostAddress(QHostAddress::LocalHost);
    quint16 m_port = DefaultPort;
    QString m_serialPath;
    DisplaySimOptions m_options;
};
