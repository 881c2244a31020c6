#include "LineMonitor.h"

#include <QFileDevice>
#include <QIODevice>

namespace {

// The ASCII names of the control bytes 0x00 to 0x1F.
const char *const ControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                      "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                      "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                      "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

} // namespace

LineMonitor::LineMonitor(qsizetype capacityBytes, QObject *parent)
    : QObject(parent), m_capacity(qMax<qsizetype>(capacityBytes, 1))
{}

LineMonitor::~LineMonitor()
{
    flush();
}

void LineMonitor::record(const QString &port, Direction direction, const QString &meaning,
                         const QByteArray &bytes)
{
    QByteArray rest = bytes;
    if (direction == Direction::In && !rest.isEmpty()) {
        const auto growing = m_growing.constFind(port);
        if (growing != m_growing.constEnd() && entry(indexOf(*growing)).meaning == meaning) {
            const qsizetype index = indexOf(*growing);
            const qsizetype room = MaxEntryBytes - entry(index).bytes.size();
            extend(index, rest.left(room));
            rest.remove(0, room);
            if (rest.isEmpty())
                return;
        }
    }
    seal(port);
    const QDateTime now = QDateTime::currentDateTime();
    do {
        Entry next{now, port, direction, meaning, rest.left(MaxEntryBytes)};
        rest.remove(0, MaxEntryBytes);
        const bool grows = direction == Direction::In && next.bytes.size() < MaxEntryBytes;
        if (grows)
            m_growing.insert(port, m_firstSerial + quint64(m_entries.size()));
        else
            writeToSink(next);
        append(std::move(next));
    } while (!rest.isEmpty());
}

void LineMonitor::append(Entry entry)
{
    m_used += costOf(entry);
    m_entries.push_back(std::move(entry));
    emit entryAdded(int(m_entries.size() - 1));
    makeRoom();
}

void LineMonitor::extend(qsizetype index, const QByteArray &bytes)
{
    Entry &growing = m_entries[size_t(index)];
    // A growing entry holds received bytes already, so its cost is its size.
    m_used += bytes.size();
    growing.bytes += bytes;
    const QString port = growing.port;
    if (growing.bytes.size() >= MaxEntryBytes)
        seal(port);
    emit entryExtended(int(index));
    makeRoom();
}

// Drops the oldest entries whole until the ring fits its capacity; the
// newest one stays even when it alone is larger.
void LineMonitor::makeRoom()
{
    qsizetype drop = 0;
    qsizetype used = m_used;
    while (used > m_capacity && drop + 1 < qsizetype(m_entries.size()))
        used -= costOf(m_entries[size_t(drop++)]);
    if (drop == 0)
        return;
    emit aboutToDropOldest(int(drop));
    for (qsizetype i = 0; i < drop; ++i) {
        const Entry &oldest = m_entries.front();
        // An entry still growing goes to the sink before it leaves the ring.
        const auto growing = m_growing.constFind(oldest.port);
        if (growing != m_growing.constEnd() && *growing == m_firstSerial)
            seal(oldest.port);
        m_used -= costOf(oldest);
        m_entries.pop_front();
        ++m_firstSerial;
    }
    emit droppedOldest(int(drop));
}

void LineMonitor::seal(const QString &port)
{
    const auto growing = m_growing.constFind(port);
    if (growing == m_growing.constEnd())
        return;
    const qsizetype index = indexOf(*growing);
    m_growing.erase(growing);
    writeToSink(entry(index));
}

void LineMonitor::flush()
{
    for (const QString &port : m_growing.keys())
        seal(port);
}

void LineMonitor::setSink(QIODevice *sink)
{
    flush();
    m_sink = sink;
}

void LineMonitor::writeToSink(const Entry &entry)
{
    if (!m_sink)
        return;
    const QByteArray line = format(entry).toUtf8() + '\n';
    bool written = m_sink->write(line) == line.size();
    // Each line reaches the system at once: a trace must outlive a crash.
    if (auto *file = qobject_cast<QFileDevice *>(m_sink))
        written = file->flush() && written;
    if (!written && m_sinkError.isEmpty())
        m_sinkError = m_sink->errorString();
}

QList<LineMonitor::Entry> LineMonitor::entries() const
{
    return QList<Entry>(m_entries.begin(), m_entries.end());
}

void LineMonitor::clear()
{
    emit aboutToClear();
    flush();
    m_firstSerial += quint64(m_entries.size());
    m_entries.clear();
    m_used = 0;
    emit cleared();
}

QString LineMonitor::text() const
{
    QString all;
    for (const Entry &entry : m_entries)
        all += format(entry) + u'\n';
    return all;
}

// Rendering -------------------------------------------------------------------

QString LineMonitor::directionName(Direction direction)
{
    switch (direction) {
    case Direction::Out:
        return QStringLiteral("out");
    case Direction::In:
        return QStringLiteral("in");
    case Direction::Line:
        return QStringLiteral("line");
    case Direction::Note:
        return QStringLiteral("note");
    }
    return {};
}

QString LineMonitor::hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString LineMonitor::textOf(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = quint8(c);
        if (byte < 0x20)
            text += u'<' + QLatin1String(ControlNames[byte]) + u'>';
        else if (byte == 0x7F)
            text += QStringLiteral("<DEL>");
        else if (byte > 0x7F)
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        else
            text += QLatin1Char(c);
    }
    return text;
}

QString LineMonitor::format(const Entry &entry)
{
    QString line = entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) +
                   QStringLiteral("  ") + entry.port + QStringLiteral("  ") +
                   directionName(entry.direction).leftJustified(4) + QStringLiteral("  ") +
                   entry.meaning;
    if (!entry.bytes.isEmpty())
        line += QStringLiteral(" | ") + hexOf(entry.bytes) + QStringLiteral(" | ") +
                textOf(entry.bytes);
    return line;
}
