#pragma once

#include "DisplayLineSettings.h"
#include "DisplaySimOptions.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

class DisplayDevice;
class PacedLine;
class Rfc2217ServerSession;

// The simulated display behind an RFC 2217 port: a TCP server that plays one
// serial device server with the display at the end of its line. The line runs at
// the speed the client sets (unless DisplaySimOptions::fast), in both directions.
//
// One client at a time: a new connection replaces the current one, as the newest
// client is the one a technician is using. The display keeps its records across
// connections; RTS starts low on each. Everything it does is reported line by
// line through logLine.
class DisplaySimulator : public QObject
{
    Q_OBJECT

public:
    explicit DisplaySimulator(const DisplaySimOptions &options = {}, QObject *parent = nullptr);
    ~DisplaySimulator() override;

    // Port 0 takes any free port; serverPort() tells which.
    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    QString errorString() const { return m_server.errorString(); }
    quint16 serverPort() const { return m_server.serverPort(); }

    // Plays the display on a local serial line instead of the TCP port: the
    // caller hands in what arrives and the PC's RTS, and carries what
    // localLineOutput emits to the line. Paced as an RFC 2217 line at 300 8N2.
    void startLocalLine(const QString &description, bool rtsHigh);
    void receiveFromLocalLine(const QByteArray &bytes);
    void setLocalLineRts(bool high);
    void endLocalLine(const QString &reason);

    bool hasClient() const { return !m_session.isNull() || m_localLine; }
    QByteArray settingsRecord() const;
    QByteArray brightnessRecord() const;
    DisplayLineSettings lineSettings() const { return m_line; }
    bool rts() const;

signals:
    void logLine(const QString &line);
    void clientConnected();
    void clientDisconnected();
    // The display has received a whole telegram and adopted it.
    void telegramReceived(const QByteArray &telegram);
    // What the display sends on the local line, at the line's pace.
    void localLineOutput(const QByteArray &bytes);

private:
    void acceptConnection();
    void endSession(const QString &reason);
    void applyLineSettings(const DisplayLineSettings &settings);
    void purge(quint8 buffers);
    void dropConnection();

    DisplaySimOptions m_options;
    QTcpServer m_server;
    QPointer<Rfc2217ServerSession> m_session;
    PacedLine *m_toDisplay;
    PacedLine *m_fromDisplay;
    DisplayDevice *m_device;
    DisplayLineSettings m_line;
    QTimer m_dropTimer;
    bool m_localLine = false;
};
