#include "portscanner.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>

namespace {

QString readAttribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(256)).trimmed();
}

// The path a link leads to, or the path itself when it is none (or leads nowhere).
QString followed(const QString& path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

bool PortScanner::isStableName(const QString& name)
{
    return name.startsWith(QLatin1String("usb:")) || name.contains(QLatin1String("/serial/by-id/"));
}

std::optional<qint64> PortScanner::parseLockPid(const QByteArray& content)
{
    const QByteArray text = content.trimmed();
    if (!text.isEmpty() && text.size() <= 20) {
        bool ok = false;
        const qint64 pid = text.toLongLong(&ok);
        if (ok && pid > 0)
            return pid;
    }
    if (content.size() == 4) {
        qint32 pid = 0;
        std::memcpy(&pid, content.constData(), 4);
        if (pid > 0)
            return pid;
    }
    return std::nullopt;
}

QString PortScanner::processName(qint64 pid) const
{
    return readAttribute(QStringLiteral("%1/%2/comm").arg(m_roots.proc).arg(pid));
}

void PortScanner::findHolder(const QString& device, qint64& pid, QString& program) const
{
    pid = 0;
    program.clear();
    const QString node = followed(device);
    const QString name = QFileInfo(node).fileName();
    for (const QString& dir : m_roots.lockDirs) {
        QFile lock(QStringLiteral("%1/LCK..%2").arg(dir, name));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const auto owner = parseLockPid(lock.read(64));
        // A lock whose process has gone is stale: the port is free.
        if (owner && QFileInfo::exists(QStringLiteral("%1/%2").arg(m_roots.proc).arg(*owner))) {
            pid = *owner;
            program = processName(pid);
            return;
        }
    }
    const QStringList processes = QDir(m_roots.proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : processes) {
        bool numeric = false;
        const qint64 candidate = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QDir fds(QStringLiteral("%1/%2/fd").arg(m_roots.proc, entry));
        const QStringList open = fds.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
        for (const QString& fd : open) {
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() == node) {
                pid = candidate;
                program = processName(pid);
                return;
            }
        }
    }
}

QString PortScanner::sysDeviceDir(const QString& name) const
{
    const QString link = QStringLiteral("%1/class/tty/%2/device").arg(m_roots.sys, name);
    return QFileInfo(link).canonicalFilePath();
}

PortEntry PortScanner::describe(const QString& device) const
{
    PortEntry p = identify(device);
    findHolder(p.device, p.holderPid, p.holderProgram);
    p.locked = p.holderPid > 0;
    const QFileInfo info(p.device);
    p.accessible = info.exists() && info.isReadable() && info.isWritable();
    if (!p.accessible)
        p.group = info.group();
    return p;
}

PortEntry PortScanner::identify(const QString& device) const
{
    PortEntry p;
    const QString node = followed(device);
    p.device = node;
    const QString name = QFileInfo(node).fileName();

    const QDir byId(m_roots.dev + QStringLiteral("/serial/by-id"));
    const QStringList ids = byId.entryList(QDir::Files | QDir::System, QDir::Name);
    for (const QString& id : ids) {
        if (followed(byId.filePath(id)) == node) {
            p.stablePath = byId.filePath(id);
            break;
        }
    }

    const QString devDir = sysDeviceDir(name);
    if (!devDir.isEmpty()) {
        p.driver = QFileInfo(QFileInfo(devDir + QStringLiteral("/driver")).canonicalFilePath())
                       .fileName();
        // The USB device (with the ids) is an ancestor of the port's interface.
        const QString sysTop = followed(m_roots.sys);
        for (QDir up(devDir); up.absolutePath().startsWith(sysTop) && up.absolutePath() != sysTop;
             up.cdUp()) {
            if (!up.exists(QStringLiteral("idVendor")))
                continue;
            p.vendorId = readAttribute(up.filePath(QStringLiteral("idVendor"))).toLower();
            p.productId = readAttribute(up.filePath(QStringLiteral("idProduct"))).toLower();
            p.serialNumber = readAttribute(up.filePath(QStringLiteral("serial")));
            const QString maker = readAttribute(up.filePath(QStringLiteral("manufacturer")));
            const QString product = readAttribute(up.filePath(QStringLiteral("product")));
            p.description = product.startsWith(maker)
                ? product
                : QStringList { maker, product }.join(QLatin1Char(' ')).trimmed();
            break;
        }
    } else if (node.startsWith(m_roots.dev + QStringLiteral("/pts/"))) {
        p.driver = QStringLiteral("pseudo-terminal");
    }
    return p;
}

QList<PortEntry> PortScanner::scan(const QStringList& extra) const
{
    QStringList nodes;
    const QDir ttys(m_roots.sys + QStringLiteral("/class/tty"));
    const QStringList names
        = ttys.entryList(QDir::Dirs | QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (sysDeviceDir(name).isEmpty())
            continue; // consoles, ptmx: no device behind them
        // A 16550 node exists for every possible UART; type 0 means none answered.
        if (readAttribute(ttys.filePath(name + QStringLiteral("/type"))) == QLatin1String("0"))
            continue;
        const QString node = m_roots.dev + QLatin1Char('/') + name;
        if (QFileInfo::exists(node))
            nodes << node;
    }
    for (const QString& name : extra) {
        const QString node = resolve(name);
        if (!node.isEmpty() && !node.contains(QLatin1String("://")) && QFileInfo::exists(node))
            nodes << followed(node);
    }
    nodes.removeDuplicates();
    QCollator order;
    order.setNumericMode(true);
    std::sort(nodes.begin(), nodes.end(),
        [&order](const QString& a, const QString& b) { return order.compare(a, b) < 0; });
    QList<PortEntry> out;
    for (const QString& node : nodes)
        out << describe(node);
    return out;
}

QString PortScanner::resolve(const QString& name, QString* error) const
{
    if (name.startsWith(QLatin1String("usb:"))) {
        const QStringList parts = name.mid(4).split(QLatin1Char(':'));
        const QString vendor = parts.value(0).toLower();
        const QString product = parts.value(1).toLower();
        const QString serial = parts.mid(2).join(QLatin1Char(':'));
        QStringList found;
        for (const PortEntry& p : scan()) {
            if (p.vendorId == vendor && p.productId == product
                && (serial.isEmpty() || p.serialNumber == serial))
                found << p.device;
        }
        if (found.size() == 1)
            return found.first();
        if (error) {
            *error = found.isEmpty()
                ? QStringLiteral("no adapter %1 is plugged in").arg(name)
                : QStringLiteral("%1 adapters match %2 (%3): name one by its serial number")
                      .arg(found.size())
                      .arg(name, found.join(QStringLiteral(", ")));
        }
        return {};
    }
    if (name.contains(QLatin1String("://")))
        return name;
    const QFileInfo info(name);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (target.isEmpty() && error)
            *error = QStringLiteral("no such device");
        return target;
    }
    return name;
}
