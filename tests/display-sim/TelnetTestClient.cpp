#include "TelnetTestClient.h"

#include <QTest>

TelnetTestClient::TelnetTestClient()
{
    connect(&m_socket, &QTcpSocket::readyRead, this, &TelnetTestClient::readAll);
}

bool TelnetTestClient::connectTo(quint16 port)
{
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    m_clock.start();
    return m_socket.waitForConnected(3000);
}

void TelnetTestClient::disconnectFromServer()
{
    m_socket.disconnectFromHost();
}

void TelnetTestClient::sendRaw(const QByteArray &bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

void TelnetTestClient::sendData(const QByteArray &data)
{
    QByteArray escaped = data;
    escaped.replace(QByteArray(1, '\xff'), QByteArray(2, '\xff'));
    sendRaw(escaped);
}

void TelnetTestClient::sendComPort(quint8 command, const QByteArray &value)
{
    QByteArray body(1, char(command));
    body += value;
    body.replace(QByteArray(1, '\xff'), QByteArray(2, '\xff'));
    sendRaw(QByteArray("\xff\xfa\x2c") + body + QByteArray("\xff\xf0"));
}

void TelnetTestClient::setRts(bool high)
{
    sendComPort(5, QByteArray(1, high ? 11 : 12));
}

void TelnetTestClient::clearData()
{
    m_data.clear();
    m_times.clear();
}

void TelnetTestClient::clearTelnet()
{
    m_negotiations.clear();
    m_subnegotiations.clear();
}

bool TelnetTestClient::waitForData(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_data.size() >= count; }, timeoutMs);
}

bool TelnetTestClient::waitForSubnegotiations(qsizetype count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_subnegotiations.size() >= count; }, timeoutMs);
}

bool TelnetTestClient::waitForDisconnected(int timeoutMs)
{
    return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; },
                           timeoutMs);
}

void TelnetTestClient::readAll()
{
    for (const char c : m_socket.readAll())
        take(quint8(c));
}

void TelnetTestClient::take(quint8 byte)
{
    switch (m_state) {
    case State::Data:
        if (byte == 0xFF) {
            m_state = State::Iac;
        } else {
            m_data.append(char(byte));
            m_times.append(m_clock.elapsed());
        }
        return;
    case State::Iac:
        m_state = State::Data;
        if (byte == 0xFF) {
            m_data.append(char(byte));
            m_times.append(m_clock.elapsed());
        } else if (byte == 0xFA) {
            m_sub.clear();
            m_state = State::Sub;
        } else if (byte >= 0xFB && byte <= 0xFE) {
            m_pendingVerb = QByteArray("\xff") + char(byte);
            m_state = State::Verb;
        }
        return;
    case State::Verb:
        m_negotiations += m_pendingVerb + char(byte);
        m_state = State::Data;
        return;
    case State::Sub:
        if (byte == 0xFF)
            m_state = State::SubIac;
        else
            m_sub.append(char(byte));
        return;
    case State::SubIac:
        if (byte == 0xF0) {
            m_subnegotiations.append(m_sub);
            m_state = State::Data;
        } else {
            m_sub.append(char(byte));
            m_state = State::Sub;
        }
        return;
    }
}
