#pragma once

#include <QAbstractListModel>
#include <QPointer>

class LineMonitor;

// A LineMonitor's ring as a list, one row an entry and its text line as the
// display role, following the monitor as it grows, extends entries, drops its
// oldest and is cleared: a view shows the traffic live without rendering
// everything again. No widget; a monitor destroyed first leaves it empty.
class LineMonitorModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit LineMonitorModel(LineMonitor *monitor, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QPointer<LineMonitor> m_monitor;
    // The rows the view knows of; the monitor has changed a moment before
    // its signal tells the model so.
    int m_rows = 0;
};
