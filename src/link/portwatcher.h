#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

// Watches for a local serial device to be there: its node under /dev, or the by-id or
// usb: name it is known by. udev makes the node first and the by-id link after it, so
// /dev and every existing folder on the way to the name are watched, and a folder
// that appears later (serial/by-id with the first adapter) is added as it comes.
// Nothing polls: the file system tells.
class PortWatcher : public QObject
{
    Q_OBJECT
public:
    explicit PortWatcher(QObject* parent = nullptr);

    // Whether `device` names a node that exists now (network ports never do).
    static bool present(const QString& device);
    // Starts watching for `device`; appeared() follows each change while it is there.
    void watch(const QString& device);
    void stop();
    bool watching() const { return !m_device.isEmpty(); }
    const QString& device() const { return m_device; }

Q_SIGNALS:
    void appeared();

private:
    void addFolders();
    void onChange();

    QFileSystemWatcher m_watcher;
    QString m_device;
};
