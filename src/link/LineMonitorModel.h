#pragma once

#include <QAbstractListModel>
#include <QPointer>
#include <QTimer>

class LineMonitor;

// A LineMonitor's ring as a list, one row an entry and its text line as the
// display role. It follows the monitor as it grows, extends entries, drops
// its oldest and is cleared, but tells its views at most every
// UpdateIntervalMs: traffic that arrives faster costs a view one update per
// interval, not one per chunk. No widget; a monitor destroyed first leaves
// it empty.
class LineMonitorModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int UpdateIntervalMs = 50;

    explicit LineMonitorModel(LineMonitor *monitor, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Brings the rows up to the monitor now.
    void update();

private:
    void schedule();

    QPointer<LineMonitor> m_monitor;
    QTimer m_timer;
    // The rows the views know of: the serial number of the first, and how many.
    quint64 m_first = 0;
    int m_rows = 0;
    // The oldest entry that grew since the last update.
    quint64 m_extendedFrom = ~quint64(0);
};
