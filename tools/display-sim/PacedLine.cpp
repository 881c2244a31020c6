#include "PacedLine.h"

PacedLine::PacedLine(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PacedLine::deliverDue);
}

void PacedLine::setCharacterTime(std::chrono::nanoseconds time)
{
    m_characterTime = time;
}

void PacedLine::push(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (m_characterTime.count() == 0 && !m_suspended && m_queue.empty()) {
        emit delivered(bytes.toByteArray());
        return;
    }
    // A character starts when the one before it has ended, or now if the line is idle.
    qint64 due = std::max(m_clock.nsecsElapsed(), m_lastDueNs);
    for (const char c : bytes) {
        due += m_characterTime.count();
        m_queue.push_back({c, due});
    }
    m_lastDueNs = due;
    scheduleNext();
}

void PacedLine::clear()
{
    m_queue.clear();
    m_lastDueNs = 0;
    m_timer.stop();
}

void PacedLine::setSuspended(bool suspended)
{
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    if (suspended) {
        m_timer.stop();
        return;
    }
    qint64 due = m_clock.nsecsElapsed();
    for (PendingByte &pending : m_queue) {
        due += m_characterTime.count();
        pending.dueNs = due;
    }
    m_lastDueNs = due;
    scheduleNext();
}

void PacedLine::deliverDue()
{
    const qint64 now = m_clock.nsecsElapsed();
    QByteArray out;
    while (!m_queue.empty() && m_queue.front().dueNs <= now) {
        out.append(m_queue.front().byte);
        m_queue.pop_front();
    }
    scheduleNext();
    if (!out.isEmpty())
        emit delivered(out);
}

void PacedLine::scheduleNext()
{
    if (m_suspended || m_queue.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 waitNs = m_queue.front().dueNs - m_clock.nsecsElapsed();
    // Round up so that the byte is due when the timer fires.
    const qint64 waitMs = waitNs <= 0 ? 0 : (waitNs + 999'999) / 1'000'000;
    m_timer.start(int(waitMs));
}
