#include "LineMonitorModel.h"

#include "LineMonitor.h"

LineMonitorModel::LineMonitorModel(LineMonitor *monitor, QObject *parent)
    : QAbstractListModel(parent), m_monitor(monitor), m_rows(monitor ? int(monitor->count()) : 0)
{
    if (!monitor)
        return;
    connect(monitor, &LineMonitor::entryAdded, this, [this](int index) {
        beginInsertRows({}, m_rows, index);
        m_rows = index + 1;
        endInsertRows();
    });
    connect(monitor, &LineMonitor::entryExtended, this, [this](int index) {
        const QModelIndex changed = this->index(index);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    });
    connect(monitor, &LineMonitor::aboutToDropOldest, this,
            [this](int count) { beginRemoveRows({}, 0, count - 1); });
    connect(monitor, &LineMonitor::droppedOldest, this, [this](int count) {
        m_rows -= count;
        endRemoveRows();
    });
    connect(monitor, &LineMonitor::aboutToClear, this, [this] { beginResetModel(); });
    connect(monitor, &LineMonitor::cleared, this, [this] {
        m_rows = 0;
        endResetModel();
    });
    connect(monitor, &QObject::destroyed, this, [this] {
        beginResetModel();
        m_rows = 0;
        endResetModel();
    });
}

int LineMonitorModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant LineMonitorModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !m_monitor || !index.isValid() || index.row() >= m_rows)
        return {};
    return LineMonitor::format(m_monitor->entry(index.row()));
}
