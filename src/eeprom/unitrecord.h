#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// One attempt at programming one controller, as "program" keeps it: a row of the
// record file (CSV or JSON Lines) and a line of the summary table.
struct UnitRecord
{
    QDateTime started;
    QDateTime ended;
    QString port; // as given on the command line
    QString stableName; // a name that survives a replug (/dev/serial/by-id/...); empty: none
    QString serialNumber; // the adapter's; empty: unknown
    QString node; // empty: the download settings' node
    int attempt = 1; // 1 for the first, 2 for the first retry
    QString file; // what was written, as given
    quint32 crc = 0; // CRC-32 of what was written
    QString result; // "ok", "failed: <reason>" or "cancelled"
    std::optional<qint64> bytes; // bytes written into the memory; nothing: not known
    QString verification; // "readback", "checksum" or "none"

    bool ok() const { return result == QLatin1String("ok"); }
    // "PORT@NODE", or the port alone for the settings' node.
    QString target() const;
    qint64 durationMs() const { return started.msecsTo(ended); }

    // CSV as RFC 4180 writes it: the header line, and one row a record, both ended by
    // CR LF; a field holding a comma, a quote or a line end is quoted, its quotes doubled.
    static QByteArray csvHeader();
    QByteArray csvRow() const;
    // One JSON object on one line, ended by LF.
    QByteArray jsonLine() const;
};

// The summary at the end of a run: one line per target with its last attempt, then the
// counts and the time the whole run took, `totalMs`.
QByteArray unitSummary(const QList<UnitRecord>& last, qint64 totalMs);
