#pragma once

#include "DisplayLineSettings.h"
#include "Rfc2217Codec.h"

#include <QObject>
#include <array>

class QTcpSocket;

// The serial device server's side of one RFC 2217 connection: it negotiates
// Telnet BINARY both ways and the COM-PORT-OPTION, answers every port command
// with its server reply, remembers the line settings and the control lines, and
// carries data both ways with 0xFF escaped.
//
// It does not know what is on the serial line; the data goes out as signals.
// Unsupported Telnet options are refused, unknown port commands are reported and
// otherwise ignored.
class Rfc2217ServerSession : public QObject
{
    Q_OBJECT

public:
    // Takes over the socket.
    explicit Rfc2217ServerSession(QTcpSocket *socket, QObject *parent = nullptr);

    // Sends the server's own option requests.
    void start();
    void sendData(const QByteArray &data);
    void close();

    QString peer() const;
    const DisplayLineSettings &lineSettings() const { return m_line; }
    bool rts() const { return m_rts; }
    bool dtr() const { return m_dtr; }

signals:
    void dataReceived(const QByteArray &data);
    void rtsChanged(bool high);
    void lineSettingsChanged(const DisplayLineSettings &settings);
    // With the PURGE-DATA value: 1 the server's receive buffer, 2 its transmit buffer, 3 both.
    void purgeRequested(quint8 buffers);
    void outputSuspended(bool suspended);
    void note(const QString &line);
    void closed();

private:
    enum class OptionState : quint8
    {
        Off,
        Requested,
        On
    };

    void readSocket();
    void handle(const Rfc2217Codec::Item &item);
    void negotiate(quint8 verb, quint8 option);
    void handleComPort(const QByteArray &payload);
    void handleLineSetting(quint8 command, const QByteArray &value);
    void handleControl(quint8 value);
    void reply(quint8 command, const QByteArray &value);
    void requestOption(quint8 verb, quint8 option);
    static bool supported(quint8 option);

    QTcpSocket *m_socket;
    Rfc2217Codec m_codec;
    std::array<OptionState, 256> m_local{};
    std::array<OptionState, 256> m_remote{};
    DisplayLineSettings m_line;
    bool m_rts = false;
    bool m_dtr = false;
    bool m_break = false;
};
