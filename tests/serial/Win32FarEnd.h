#pragma once

#include <QByteArray>
#include <QString>
#include <QTcpSocket>

// The test's side of win32_far_end.py, the far end of the Windows COM port
// tests and benchmark: one command a line, one answer a line, over TCP to
// PANTRIX_TEST_FAR_END (HOST:PORT).
class Win32FarEnd
{
public:
    bool connect()
    {
        const QString address = qEnvironmentVariable("PANTRIX_TEST_FAR_END");
        const qsizetype colon = address.lastIndexOf(u':');
        m_socket.connectToHost(address.left(colon), quint16(address.mid(colon + 1).toUInt()));
        return m_socket.waitForConnected(5000);
    }
    // Sends a command without waiting for its answer.
    void request(const QByteArray &line)
    {
        m_socket.write(line + '\n');
        m_socket.flush();
    }
    // The next answer; empty when none comes within a minute.
    QString answer()
    {
        while (!m_socket.canReadLine()) {
            if (!m_socket.waitForReadyRead(60000))
                return QString();
        }
        return QString::fromLatin1(m_socket.readLine()).trimmed();
    }
    QString ask(const QString &command)
    {
        request(command.toLatin1());
        const QString reply = answer();
        return reply.isNull() ? QStringLiteral("no answer to ") + command : reply;
    }
    // Up to `count` bytes the far end read within `ms`.
    QByteArray take(int count, int ms = 5000)
    {
        const QString hex = ask(QStringLiteral("take %1 %2").arg(count).arg(ms));
        return hex == u'-' ? QByteArray() : QByteArray::fromHex(hex.toLatin1());
    }

private:
    QTcpSocket m_socket;
};
