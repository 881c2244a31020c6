#include "LineMonitorModel.h"

#include "LineMonitor.h"

LineMonitorModel::LineMonitorModel(LineMonitor *monitor, QObject *parent)
    : QAbstractListModel(parent), m_monitor(monitor)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(UpdateIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LineMonitorModel::update);
    if (!monitor)
        return;
    m_first = monitor->firstSerial();
    m_rows = int(monitor->count());
    connect(monitor, &LineMonitor::entryAdded, this, &LineMonitorModel::schedule);
    connect(monitor, &LineMonitor::droppedOldest, this, &LineMonitorModel::schedule);
    connect(monitor, &LineMonitor::entryExtended, this, [this](int index) {
        m_extendedFrom = std::min(m_extendedFrom, m_monitor->firstSerial() + quint64(index));
        schedule();
    });
    // A clear empties the views at once: nothing of the old rows stays readable.
    connect(monitor, &LineMonitor::aboutToClear, this, [this] { beginResetModel(); });
    connect(monitor, &LineMonitor::cleared, this, [this] {
        m_first = m_monitor->firstSerial();
        m_rows = 0;
        m_extendedFrom = ~quint64(0);
        endResetModel();
    });
    connect(monitor, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    });
}

void LineMonitorModel::schedule()
{
    if (!m_timer.isActive())
        m_timer.start();
}

void LineMonitorModel::update()
{
    m_timer.stop();
    if (!m_monitor)
        return;
    const quint64 first = m_monitor->firstSerial();
    const quint64 end = first + quint64(m_monitor->count());
    if (first > m_first) {
        const int gone = int(std::min<quint64>(first - m_first, quint64(m_rows)));
        if (gone > 0) {
            beginRemoveRows({}, 0, gone - 1);
            m_rows -= gone;
            m_first += quint64(gone);
            endRemoveRows();
        }
        m_first = first;
    }
    const quint64 known = m_first + quint64(m_rows);
    if (m_extendedFrom < known && m_rows > 0) {
        const int from = int(std::max(m_extendedFrom, m_first) - m_first);
        emit dataChanged(index(from), index(m_rows - 1), {Qt::DisplayRole});
    }
    m_extendedFrom = ~quint64(0);
    if (end > known) {
        beginInsertRows({}, m_rows, int(end - m_first) - 1);
        m_rows = int(end - m_first);
        endInsertRows();
    }
}

int LineMonitorModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant LineMonitorModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !m_monitor || !index.isValid() || index.row() >= m_rows)
        return {};
    // A row whose entry left the ring since the last update shows nothing until then.
    const quint64 serial = m_first + quint64(index.row());
    const quint64 first = m_monitor->firstSerial();
    if (serial < first || serial - first >= quint64(m_monitor->count()))
        return {};
    return LineMonitor::format(m_monitor->entry(qsizetype(serial - first)));
}
