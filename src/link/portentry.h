#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One serial device as `zaziruv-cli ports` and the Setup window list it.
struct PortEntry
{
    QString device; // the node, /dev/ttyUSB0
    QString stablePath; // /dev/serial/by-id/..., empty when udev made none
    QString vendorId; // 4 lower-case hex digits; empty for a device not on USB
    QString productId;
    QString serialNumber;
    QString description; // maker and product as the adapter names them
    QString driver; // the kernel driver, "pseudo-terminal" for a pty
    bool locked = false; // another program holds it
    qint64 holderPid = 0; // 0: not known (a lock file of a process that is gone, EBUSY)
    QString holderProgram; // that process's name, from /proc/PID/comm
    bool accessible = true; // this user may open it
    QString group; // the device's group, to join when it is not accessible

    // "usb:0403:6001:A12345", empty for a device not on USB or without a serial number.
    QString usbName() const;
    // The name the COM mapping should hold: the by-id path, the usb: name, the node.
    QString preferredName() const;
    // "in use by minicom (PID 1234)", "in use by another program" or "free".
    QString useText() const;
    // "yes" or "no: join the group dialout (sudo adduser $USER dialout, then log in again)".
    QString accessText() const;
    // One line: node, USB ids, description, state; for lists and tooltips.
    QString summary() const;
};

// The list as text, a block of lines for each device.
QString formatPortsText(const QList<PortEntry>& ports);
// The list as a JSON array of objects, one per device (keys in alphabetical order, null for what is
// not known).
QByteArray formatPortsJson(const QList<PortEntry>& ports);
