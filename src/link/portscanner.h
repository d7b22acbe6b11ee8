#pragma once

#include "portentry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Finds the serial devices of this machine and what is known of them, from the file
// system alone: the nodes in /dev, their kernel side in /sys/class/tty, the names udev
// keeps in /dev/serial/by-id, the lock files of other programs and /proc. The roots
// are parameters so that a fake tree in a scratch directory stands in for them.
class PortScanner
{
public:
    struct Roots
    {
        QString dev = QStringLiteral("/dev");
        QString sys = QStringLiteral("/sys");
        QString proc = QStringLiteral("/proc");
        QStringList lockDirs { QStringLiteral("/run/lock"), QStringLiteral("/var/lock") };
    };

    PortScanner() = default;
    explicit PortScanner(Roots roots)
        : m_roots(std::move(roots))
    {
    }

    // Every device with a kernel driver behind it (a 16550 node without a UART is
    // left out), plus `extra` devices named by the caller (the configured ones, a
    // pseudo-terminal), in name order, ttyS2 before ttyS10.
    QList<PortEntry> scan(const QStringList& extra = {}) const;
    // What is known of one device node (or a name that leads to one).
    PortEntry describe(const QString& device) const;
    // Only what names it: the node, its by-id path, driver and USB identity (no
    // holder, no access check, which look through every process).
    PortEntry identify(const QString& device) const;

    // The node a port name stands for: a /dev/serial/by-id path (or any link) is
    // followed, "usb:VID:PID[:SERIAL]" is looked up among the plugged adapters.
    // Network names and plain nodes come back unchanged. Empty, with `error`, when
    // the named adapter is not there.
    QString resolve(const QString& name, QString* error = nullptr) const;
    // Whether name is one resolve() looks up ("usb:..." or under serial/by-id).
    static bool isStableName(const QString& name);

    // The process a lock file names: ten-column ASCII ("      1234\n"), or the
    // 4-byte binary PID of old programs. Nothing for anything else.
    static std::optional<qint64> parseLockPid(const QByteArray& content);
    // The program holding `device`: its lock file's process if that still runs, else
    // a process with the device open (as far as /proc shows other users' processes).
    // pid stays 0 when no one is found.
    void findHolder(const QString& device, qint64& pid, QString& program) const;

private:
    QString sysDeviceDir(const QString& name) const;
    QString processName(qint64 pid) const;

    Roots m_roots;
};
