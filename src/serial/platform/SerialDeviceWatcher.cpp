#include "SerialDeviceWatcher.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace {

constexpr int PollMs = 2000;
// udev makes the node, then the by-id link and sets permissions: one look
// shortly after the first change sees them all.
constexpr int SettleMs = 250;

QStringList defaultWatched()
{
#ifdef _WIN32
    return {};
#else
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id")};
#endif
}

} // namespace

SerialDeviceWatcher::SerialDeviceWatcher(QObject *parent)
    : SerialDeviceWatcher(&SerialDevices::present, defaultWatched(), parent)
{}

SerialDeviceWatcher::SerialDeviceWatcher(std::function<QList<SerialDevices::Device>()> list,
                                         const QStringList &watched, QObject *parent)
    : QObject(parent), m_list(std::move(list)), m_watched(watched), m_poll(new QTimer(this)),
      m_settle(new QTimer(this))
{
    m_poll->setInterval(PollMs);
    m_settle->setInterval(SettleMs);
    m_settle->setSingleShot(true);
    connect(m_poll, &QTimer::timeout, this, &SerialDeviceWatcher::look);
    connect(m_settle, &QTimer::timeout, this, &SerialDeviceWatcher::look);
}

SerialDeviceWatcher::~SerialDeviceWatcher() = default;

void SerialDeviceWatcher::setActive(bool active)
{
    if (active == m_active)
        return;
    m_active = active;
    if (!active) {
        m_poll->stop();
        m_settle->stop();
        delete m_watcher;
        m_watcher = nullptr;
        return;
    }
    m_seen = m_list();
    m_poll->start();
    m_watcher = new QFileSystemWatcher(this);
    for (const QString &folder : std::as_const(m_watched))
        if (QFileInfo(folder).isDir())
            m_watcher->addPath(folder);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &SerialDeviceWatcher::lookSoon);
}

void SerialDeviceWatcher::lookSoon()
{
    if (m_active && !m_settle->isActive())
        m_settle->start();
}

void SerialDeviceWatcher::look()
{
    if (!m_active)
        return;
    // /dev/serial/by-id appears with the first USB adapter.
    for (const QString &folder : std::as_const(m_watched))
        if (!m_watcher->directories().contains(folder) && QFileInfo(folder).isDir())
            m_watcher->addPath(folder);
    QList<SerialDevices::Device> now = m_list();
    if (now == m_seen)
        return;
    m_seen = std::move(now);
    emit changed();
}
