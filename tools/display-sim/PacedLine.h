#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>

// One direction of a serial line: bytes pushed in come out after the time the
// line needs to carry them, one character time each, back to back. A character
// time of zero passes bytes straight through.
//
// It models the line only; it does not know what the bytes mean.
class PacedLine : public QObject
{
    Q_OBJECT

public:
    explicit PacedLine(QObject *parent = nullptr);

    // Applies to bytes pushed from now on.
    void setCharacterTime(std::chrono::nanoseconds time);
    std::chrono::nanoseconds characterTime() const { return m_characterTime; }

    void push(QByteArrayView bytes);
    // Drops the bytes still on the way.
    void clear();
    // While suspended nothing comes out; on resume the line starts again from now.
    void setSuspended(bool suspended);

    bool isBusy() const { return !m_queue.empty(); }

signals:
    // The bytes whose time on the line is over, in order.
    void delivered(const QByteArray &bytes);

private:
    struct PendingByte
    {
        char byte;
        qint64 dueNs;
    };

    void deliverDue();
    void scheduleNext();

    std::chrono::nanoseconds m_characterTime{0};
    std::deque<PendingByte> m_queue;
    qint64 m_lastDueNs = 0;
    bool m_suspended = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
