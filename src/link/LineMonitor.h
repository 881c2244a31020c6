#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <deque>

class QIODevice;

// What went over the wire: every byte a DisplayLink sent and received, with
// its direction, the wall-clock time and what it meant to the link, plus the
// line events (port opened and closed, RTS) and what the link concluded
// (echo matches, time-out). The link supplies the meaning; this class only
// keeps and renders it. No widget: the window shows it, pantrix-cli --trace
// writes it to a file.
//
// Received bytes arrive a few at a time. A chunk received on a port with the
// same meaning as that port's last entry extends it, up to MaxEntryBytes; a
// longer record is split into entries of that size. Nothing else merges.
//
// The ring holds the recent entries up to a capacity, dropping the oldest
// whole. An entry counts its bytes on the wire, and at least 1, so that line
// events and notes are bounded too (at most `capacity` entries).
//
// A sink, when set, receives every entry as a text line once the entry can
// no longer grow (the port's next entry, the size limit, flush()), and is
// flushed after each line; it is not bounded by the ring.
class LineMonitor : public QObject
{
    Q_OBJECT

public:
    enum class Direction
    {
        Out,  // bytes the link handed to the port
        In,   // bytes the link took from the port
        Line, // port opened or closed, RTS raised or lowered
        Note  // what the link concluded: echo matches, time-out, contact lost...
    };

    struct Entry
    {
        QDateTime time; // of the entry's first byte
        QString port;
        Direction direction = Direction::Note;
        QString meaning;
        QByteArray bytes;
    };

    static constexpr qsizetype DefaultCapacity = 64 * 1024;
    static constexpr qsizetype MaxEntryBytes = 32;

    explicit LineMonitor(qsizetype capacityBytes = DefaultCapacity, QObject *parent = nullptr);
    ~LineMonitor() override;

    void record(const QString &port, Direction direction, const QString &meaning,
                const QByteArray &bytes = {});

    qsizetype count() const { return qsizetype(m_entries.size()); }
    // Every entry has a serial number, counting from 0 for the first one ever
    // recorded; entry(0) has this one. A view that lags tells by it which of
    // its rows have left the ring.
    quint64 firstSerial() const { return m_firstSerial; }
    const Entry &entry(qsizetype index) const { return m_entries[size_t(index)]; }
    QList<Entry> entries() const;
    // What the entries count against the capacity.
    qsizetype usedBytes() const { return m_used; }
    qsizetype capacity() const { return m_capacity; }

    // One entry as a line: "2026-12-09 11:49:22.123  COM3  in    settings echo | 1B 5A | <ESC>Z".
    static QString format(const Entry &entry);
    static QString directionName(Direction direction);
    // "1B 5A 45"
    static QString hexOf(const QByteArray &bytes);
    // Printable ASCII as it is, control bytes by name (<ESC>, <CR>), others in hex (<E4>).
    static QString textOf(const QByteArray &bytes);
    // The whole ring, one line an entry, each ending with a line feed.
    QString text() const;
    void clear();

    // Also writes every entry to `sink` (nullptr: none). The device stays the
    // caller's and must outlive the monitor or be unset first; the entries
    // still growing are written to the old sink before the change.
    void setSink(QIODevice *sink);
    // Writes the entries that could still grow to the sink now.
    void flush();
    // A write to the sink failed; its error text.
    bool sinkFailed() const { return !m_sinkError.isEmpty(); }
    QString sinkError() const { return m_sinkError; }

signals:
    void entryAdded(int index);
    // Bytes were added to the entry at `index`.
    void entryExtended(int index);
    // The `count` oldest entries go, and have gone; indexes shift by `count`.
    void aboutToDropOldest(int count);
    void droppedOldest(int count);
    void aboutToClear();
    void cleared();

private:
    static qsizetype costOf(const Entry &entry) { return qMax<qsizetype>(entry.bytes.size(), 1); }
    qsizetype indexOf(quint64 serial) const { return qsizetype(serial - m_firstSerial); }
    void append(Entry entry);
    void extend(qsizetype index, const QByteArray &bytes);
    void makeRoom();
    void seal(const QString &port);
    void writeToSink(const Entry &entry);

    const qsizetype m_capacity;
    std::deque<Entry> m_entries;
    quint64 m_firstSerial = 0;
    qsizetype m_used = 0;
    // Per port, the serial number of its last entry while received bytes may extend it.
    QHash<QString, quint64> m_growing;
    QIODevice *m_sink = nullptr;
    QString m_sinkError;
};
