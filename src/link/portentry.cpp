#include "portentry.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString PortEntry::usbName() const
{
    if (vendorId.isEmpty() || productId.isEmpty() || serialNumber.isEmpty())
        return {};
    return QStringLiteral("usb:%1:%2:%3").arg(vendorId, productId, serialNumber);
}

QString PortEntry::preferredName() const
{
    if (!stablePath.isEmpty())
        return stablePath;
    const QString usb = usbName();
    return usb.isEmpty() ? device : usb;
}

QString PortEntry::useText() const
{
    if (!locked)
        return QStringLiteral("free");
    if (holderPid <= 0)
        return QStringLiteral("in use by another program");
    if (holderProgram.isEmpty())
        return QStringLiteral("in use by process %1").arg(holderPid);
    return QStringLiteral("in use by %1 (PID %2)").arg(holderProgram).arg(holderPid);
}

QString PortEntry::accessText() const
{
    if (accessible)
        return QStringLiteral("yes");
    if (group.isEmpty() || group == QLatin1String("root"))
        return QStringLiteral("no: the device is not readable and writable for this user");
    return QStringLiteral("no: join the group %1 (sudo adduser $USER %1, then log in again)")
        .arg(group);
}

QString PortEntry::summary() const
{
    QStringList parts { device };
    if (!vendorId.isEmpty())
        parts << QStringLiteral("%1:%2").arg(vendorId, productId);
    if (!description.isEmpty())
        parts << description;
    parts << useText();
    if (!accessible)
        parts << QStringLiteral("no access");
    return parts.join(QStringLiteral(", "));
}

QString formatPortsText(const QList<PortEntry>& ports)
{
    if (ports.isEmpty())
        return QStringLiteral("no serial devices found\n");
    QString out;
    const auto line = [&out](const char* label, const QString& value) {
        if (!value.isEmpty())
            out += QStringLiteral("  %1: %2\n").arg(QLatin1String(label), value);
    };
    for (const PortEntry& p : ports) {
        out += p.device + QLatin1Char('\n');
        line("stable name", p.stablePath);
        if (!p.vendorId.isEmpty())
            line("usb", QStringLiteral("%1:%2").arg(p.vendorId, p.productId));
        line("serial number", p.serialNumber);
        line("usb name", p.usbName());
        line("description", p.description);
        line("driver", p.driver);
        line("in use", p.locked ? p.useText().mid(7) : QStringLiteral("no"));
        line("access", p.accessText());
    }
    return out;
}

QByteArray formatPortsJson(const QList<PortEntry>& ports)
{
    QJsonArray list;
    for (const PortEntry& p : ports) {
        const auto orNull = [](const QString& s) { return s.isEmpty() ? QJsonValue() : s; };
        QJsonObject o;
        o.insert(QStringLiteral("device"), p.device);
        o.insert(QStringLiteral("stablePath"), orNull(p.stablePath));
        o.insert(QStringLiteral("vendorId"), orNull(p.vendorId));
        o.insert(QStringLiteral("productId"), orNull(p.productId));
        o.insert(QStringLiteral("serialNumber"), orNull(p.serialNumber));
        o.insert(QStringLiteral("usbName"), orNull(p.usbName()));
        o.insert(QStringLiteral("description"), orNull(p.description));
        o.insert(QStringLiteral("driver"), orNull(p.driver));
        o.insert(QStringLiteral("locked"), p.locked);
        o.insert(
            QStringLiteral("holderPid"), p.holderPid > 0 ? QJsonValue(p.holderPid) : QJsonValue());
        o.insert(QStringLiteral("holderProgram"), orNull(p.holderProgram));
        o.insert(QStringLiteral("accessible"), p.accessible);
        o.insert(QStringLiteral("group"), orNull(p.group));
        list.append(o);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Indented);
}
