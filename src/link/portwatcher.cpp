#include "portwatcher.h"

#include "link/portscanner.h"

#include <QFileInfo>

PortWatcher::PortWatcher(QObject* parent)
    : QObject(parent)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &PortWatcher::onChange);
}

bool PortWatcher::present(const QString& device)
{
    if (device.contains(QLatin1String("://")))
        return false;
    const QString node = PortScanner().resolve(device);
    return !node.isEmpty() && QFileInfo::exists(node);
}

void PortWatcher::watch(const QString& device)
{
    stop();
    m_device = device;
    addFolders();
}

void PortWatcher::stop()
{
    m_device.clear();
    const QStringList dirs = m_watcher.directories();
    if (!dirs.isEmpty())
        m_watcher.removePaths(dirs);
}

void PortWatcher::addFolders()
{
    QStringList dirs { QStringLiteral("/dev") };
    for (QString dir = QFileInfo(m_device).path(); dir.size() > 1; dir = QFileInfo(dir).path())
        dirs << dir;
    for (const QString& dir : std::as_const(dirs))
        if (QFileInfo(dir).isDir() && !m_watcher.directories().contains(dir))
            m_watcher.addPath(dir);
}

void PortWatcher::onChange()
{
    if (m_device.isEmpty())
        return;
    addFolders();
    if (present(m_device))
        Q_EMIT appeared();
}
