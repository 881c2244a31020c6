#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTcpSocket>

// A bare RFC 2217 client for tests, written without the codec under test: it
// builds its commands from literal bytes and takes the server's stream apart
// with a parser of its own, keeping data, negotiations and subnegotiations apart.
class TelnetTestClient : public QObject
{
    Q_OBJECT

public:
    TelnetTestClient();

    bool connectTo(quint16 port);
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void disconnectFromServer();

    void sendRaw(const QByteArray &bytes);
    // Doubles every 0xFF.
    void sendData(const QByteArray &data);
    void sendComPort(quint8 command, const QByteArray &value);
    void setRts(bool high);

    // Received data with the Telnet framing removed, and when each byte came
    // (milliseconds since connectTo).
    QByteArray data() const { return m_data; }
    QList<qint64> dataTimes() const { return m_times; }
    void clearData();
    // Every IAC WILL/WONT/DO/DONT received, three bytes each, in order.
    QByteArray negotiations() const { return m_negotiations; }
    // The payloads of received subnegotiations after IAC SB, un-escaped.
    QList<QByteArray> subnegotiations() const { return m_subnegotiations; }
    void clearTelnet();

    bool waitForData(qsizetype count, int timeoutMs);
    bool waitForSubnegotiations(qsizetype count, int timeoutMs);
    bool waitForDisconnected(int timeoutMs);
    qint64 elapsedMs() const { return m_clock.elapsed(); }

private:
    void readAll();
    void take(quint8 byte);

    enum class State
    {
        Data,
        Iac,
        Verb,
        Sub,
        SubIac
    };

    QTcpSocket m_socket;
    QElapsedTimer m_clock;
    State m_state = State::Data;
    QByteArray m_pendingVerb;
    QByteArray m_sub;
    QByteArray m_data;
    QList<qint64> m_times;
    QByteArray m_negotiations;
    QList<QByteArray> m_subnegotiations;
};
