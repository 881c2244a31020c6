#include "DisplaySimulator.h"

#include "DisplayDevice.h"
#include "DisplayRecordText.h"
#include "PacedLine.h"
#include "Rfc2217Codec.h"
#include "Rfc2217ServerSession.h"

#include <QTcpSocket>

DisplaySimulator::DisplaySimulator(const DisplaySimOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_toDisplay(new PacedLine(this)),
      m_fromDisplay(new PacedLine(this)), m_device(new DisplayDevice(options, m_fromDisplay, this))
{
    applyLineSettings(m_line);
    connect(&m_server, &QTcpServer::newConnection, this, &DisplaySimulator::acceptConnection);
    connect(m_toDisplay, &PacedLine::delivered, m_device, &DisplayDevice::receive);
    connect(m_fromDisplay, &PacedLine::delivered, this, [this](const QByteArray &bytes) {
        if (m_session)
            m_session->sendData(bytes);
        else if (m_localLine)
            emit localLineOutput(bytes);
    });
    connect(m_device, &DisplayDevice::note, this, &DisplaySimulator::logLine);
    connect(m_device, &DisplayDevice::telegramReceived, this, &DisplaySimulator::telegramReceived);
    m_dropTimer.setSingleShot(true);
    connect(&m_dropTimer, &QTimer::timeout, this, &DisplaySimulator::dropConnection);
}

DisplaySimulator::~DisplaySimulator()
{
    // The session's socket must not report its end to a simulator half torn down.
    if (m_session)
        m_session->disconnect();
}

bool DisplaySimulator::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server.listen(address, port))
        return false;
    emit logLine(QStringLiteral("listening on %1:%2")
                     .arg(m_server.serverAddress().toString())
                     .arg(serverPort()));
    emit logLine("display settings: " + DisplayRecordText::settings(settingsRecord()));
    emit logLine("display brightness: " + DisplayRecordText::brightness(brightnessRecord()));
    return true;
}

QByteArray DisplaySimulator::settingsRecord() const
{
    return m_device->settingsRecord();
}

QByteArray DisplaySimulator::brightnessRecord() const
{
    return m_device->brightnessRecord();
}

void DisplaySimulator::startLocalLine(const QString &description, bool rtsHigh)
{
    m_localLine = true;
    applyLineSettings(DisplayLineSettings{});
    emit logLine(QStringLiteral("serial line %1 (line %2, RTS %3)")
                     .arg(description, DisplayLineSettings{}.text(),
                          rtsHigh ? QStringLiteral("high") : QStringLiteral("low")));
    emit logLine("display settings: " + DisplayRecordText::settings(settingsRecord()));
    emit logLine("display brightness: " + DisplayRecordText::brightness(brightnessRecord()));
    emit clientConnected();
    if (rtsHigh)
        m_device->setRts(true);
}

void DisplaySimulator::receiveFromLocalLine(const QByteArray &bytes)
{
    if (m_localLine)
        m_toDisplay->push(bytes);
}

void DisplaySimulator::setLocalLineRts(bool high)
{
    if (m_localLine)
        m_device->setRts(high);
}

void DisplaySimulator::endLocalLine(const QString &reason)
{
    if (!m_localLine)
        return;
    m_localLine = false;
    m_toDisplay->clear();
    m_fromDisplay->clear();
    m_device->disconnectLine();
    emit logLine("serial line closed: " + reason);
    emit clientDisconnected();
}

bool DisplaySimulator::rts() const
{
    return m_device->rts();
}

void DisplaySimulator::acceptConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        if (m_session)
            endSession(QStringLiteral("replaced by a new connection"));
        auto *session = new Rfc2217ServerSession(socket, this);
        m_session = session;
        connect(session, &Rfc2217ServerSession::dataReceived, m_toDisplay, &PacedLine::push);
        connect(session, &Rfc2217ServerSession::rtsChanged, m_device, &DisplayDevice::setRts);
        connect(session, &Rfc2217ServerSession::lineSettingsChanged, this,
                &DisplaySimulator::applyLineSettings);
        connect(session, &Rfc2217ServerSession::purgeRequested, this, &DisplaySimulator::purge);
        connect(session, &Rfc2217ServerSession::outputSuspended, m_fromDisplay,
                &PacedLine::setSuspended);
        connect(session, &Rfc2217ServerSession::note, this, &DisplaySimulator::logLine);
        connect(session, &Rfc2217ServerSession::closed, this, [this, session] {
            if (m_session == session)
                endSession(QStringLiteral("closed by the client"));
        });
        emit logLine(QStringLiteral("client connected from %1 (line %2, RTS low)")
                         .arg(session->peer(), DisplayLineSettings{}.text()));
        applyLineSettings(DisplayLineSettings{});
        session->start();
        if (m_options.dropAfter)
            m_dropTimer.start(m_options.dropAfter->count());
        emit clientConnected();
    }
}

void DisplaySimulator::endSession(const QString &reason)
{
    Rfc2217ServerSession *session = m_session;
    m_session.clear();
    m_dropTimer.stop();
    m_toDisplay->clear();
    m_fromDisplay->clear();
    m_fromDisplay->setSuspended(false);
    m_device->disconnectLine();
    session->disconnect();
    session->close();
    session->deleteLater();
    emit logLine("client disconnected: " + reason);
    emit clientDisconnected();
}

void DisplaySimulator::applyLineSettings(const DisplayLineSettings &settings)
{
    m_line = settings;
    const auto time = m_options.fast ? std::chrono::nanoseconds(0) : settings.characterTime();
    m_toDisplay->setCharacterTime(time);
    m_fromDisplay->setCharacterTime(time);
}

void DisplaySimulator::purge(quint8 buffers)
{
    // The server's receive buffer holds what the display sent and the client has
    // not got yet; its transmit buffer what the client sent and the display has
    // not got yet.
    if (buffers & ComPort::PurgeReceive)
        m_fromDisplay->clear();
    if (buffers & ComPort::PurgeTransmit)
        m_toDisplay->clear();
}

void DisplaySimulator::dropConnection()
{
    if (!m_session)
        return;
    endSession(
        QStringLiteral("dropped after %1 ms (--drop-after)").arg(m_options.dropAfter->count()));
}
