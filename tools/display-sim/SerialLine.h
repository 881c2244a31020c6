#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

class QSocketNotifier;

// A local serial device as the display's end of the cable (termios, Linux
// only: the Windows build of the simulator serves RFC 2217 alone, because the
// configurator on Windows reaches a display through a real COM port and
// needs no simulated one on a local device). It opens the device raw at the
// display's own 300 baud 8N2, carries bytes both ways and reports the PC's
// RTS, which a null-modem cable brings to this end as CTS.
//
// CTS is watched on a thread of its own with TIOCMIWAIT, or by sampling
// TIOCMGET where the driver cannot wait. A device without modem lines (a
// plain pseudo-terminal) is reported once; bytes still flow. A device that
// goes away (an unplugged adapter, a hung-up pseudo-terminal) ends the line
// with `closed`.
class SerialLine : public QObject
{
    Q_OBJECT

public:
    explicit SerialLine(QObject *parent = nullptr);
    ~SerialLine() override;

    bool open(const QString &path);
    QString errorString() const { return m_error; }
    QString path() const { return m_path; }
    bool cts() const { return m_cts; }

    void sendData(const QByteArray &bytes);

signals:
    void dataReceived(const QByteArray &bytes);
    // The PC's RTS, seen here as CTS.
    void rtsChanged(bool high);
    void note(const QString &line);
    void closed(const QString &reason);

private:
    void readDevice();
    void writePending();
    void watchCts();
    void ctsSeen(bool high);
    void stopWatching();
    void shutDown(const QString &reason);

    int m_fd = -1;
    QString m_path;
    QString m_error;
    QByteArray m_pending;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    bool m_cts = false;
    std::thread m_watcher;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_watcherDone{false};
};
