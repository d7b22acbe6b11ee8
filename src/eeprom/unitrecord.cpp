#include "unitrecord.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Always with the offset from UTC, so that records of different machines compare.
QString timeText(const QDateTime& t)
{
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// Seconds with milliseconds: "41.203".
QString seconds(qint64 ms)
{
    return QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

QByteArray csvField(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\r')
        && !bytes.contains('\n'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

QString crcText(quint32 crc)
{
    return QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0'));
}

} // namespace

QString UnitRecord::target() const
{
    return node.isEmpty() ? port : port + QLatin1Char('@') + node;
}

QByteArray UnitRecord::csvHeader()
{
    return "started,ended,port,stable_name,serial_number,node,attempt,file,crc32,result,bytes,"
           "duration_s,verification\r\n";
}

QByteArray UnitRecord::csvRow() const
{
    const QStringList fields { timeText(started), timeText(ended), port, stableName, serialNumber,
        node, QString::number(attempt), file, crcText(crc), result,
        bytes ? QString::number(*bytes) : QString(), seconds(durationMs()), verification };
    QByteArray row;
    for (const QString& f : fields)
        row += csvField(f) + ',';
    row.chop(1);
    return row + "\r\n";
}

QByteArray UnitRecord::jsonLine() const
{
    const QJsonObject o { { "started", timeText(started) }, { "ended", timeText(ended) },
        { "port", port }, { "stable_name", stableName }, { "serial_number", serialNumber },
        { "node", node }, { "attempt", attempt }, { "file", file }, { "crc32", crcText(crc) },
        { "result", result }, { "bytes", bytes ? QJsonValue(*bytes) : QJsonValue() },
        { "duration_s", double(durationMs()) / 1000 }, { "verification", verification } };
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray unitSummary(const QList<UnitRecord>& last, qint64 totalMs)
{
    qsizetype width = 6; // "TARGET"
    for (const UnitRecord& r : last)
        width = std::max(width, r.target().size());
    const auto line = [width](const QString& target, const QString& attempts, const QString& time,
                          const QString& result) {
        return (target.leftJustified(width + 2) + attempts.rightJustified(8)
                   + time.rightJustified(10) + QStringLiteral("  ") + result)
                   .toUtf8()
            + '\n';
    };
    QByteArray out = line(QStringLiteral("TARGET"), QStringLiteral("ATTEMPTS"),
        QStringLiteral("TIME/S"), QStringLiteral("RESULT"));
    int ok = 0;
    for (const UnitRecord& r : last) {
        ok += r.ok() ? 1 : 0;
        out += line(r.target(), QString::number(r.attempt), seconds(r.durationMs()), r.result);
    }
    out += QStringLiteral("%1 of %2 units ok, %3 not ok, in %4 s\n")
               .arg(ok)
               .arg(last.size())
               .arg(last.size() - ok)
               .arg(seconds(totalMs))
               .toUtf8();
    return out;
}
