#pragma once

#include <QByteArray>
#include <QString>
#include <termios.h>

// A pseudo-terminal for the serial tests. The component opens the slave side
// by its path; the test plays the device on the master side, which also
// sees (and may change) the slave's line settings.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    int master() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    // The slave's number, for a DeviceName of "/dev/pts/%d".
    int slaveNumber() const;

    termios settings() const;
    void setSpeed(speed_t speed);

    void send(const QByteArray &bytes);
    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray receive(int count, int timeoutMs = 2000);
    // Everything that arrives within `quietMs`.
    QByteArray drain(int quietMs = 100);
    // The device goes away: the slave side hangs up.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};
