#pragma once

#include "SerialDevices.h"

#include <QObject>
#include <functional>

class QFileSystemWatcher;
class QTimer;

// Says when serial devices come and go, for a port list that should follow
// the adapters plugged in: changed() is emitted when the list of present
// devices differs from the one seen before. It looks only while active: a
// poll every two seconds, and on Linux a watch on /dev (and
// /dev/serial/by-id) that makes it look at once after a change there.
// Inactive, it holds no timer and no watch and costs nothing.
class SerialDeviceWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SerialDeviceWatcher(QObject *parent = nullptr);
    // For tests: `list` gives the devices, `watched` the folders to watch.
    SerialDeviceWatcher(std::function<QList<SerialDevices::Device>()> list,
                        const QStringList &watched, QObject *parent = nullptr);
    ~SerialDeviceWatcher() override;

    // Starts or stops looking; starting takes the present list as the one
    // changes are measured against.
    void setActive(bool active);
    bool isActive() const { return m_active; }

signals:
    void changed();

private:
    void look();
    void lookSoon();

    std::function<QList<SerialDevices::Device>()> m_list;
    QStringList m_watched;
    QList<SerialDevices::Device> m_seen;
    QTimer *m_poll;
    QTimer *m_settle;
    QFileSystemWatcher *m_watcher = nullptr;
    bool m_active = false;
};
