#include "trafficrow.h"

#include <QDateTime>

#include <limits>

namespace {

const char HexDigits[] = "0123456789ABCDEF";

} // namespace

QString trafficText(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size() + 8);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\r') {
            out += QLatin1String("<CR>");
        } else if (c == '\n') {
            out += QLatin1String("<LF>");
        } else if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += QLatin1Char(char(c));
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(HexDigits[c >> 4]);
            out += QLatin1Char(HexDigits[c & 0xF]);
        }
    }
    return out;
}

QString trafficRowText(const TrafficRow& row)
{
    return row.kind == TrafficRow::Kind::Marker ? QString::fromUtf8(row.bytes)
                                                : trafficText(row.bytes);
}

QString trafficHex(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size() * 3);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (!out.isEmpty())
            out += QLatin1Char(' ');
        out += QLatin1Char(HexDigits[c >> 4]);
        out += QLatin1Char(HexDigits[c & 0xF]);
    }
    return out;
}

QString trafficClock(qint64 wallMs)
{
    return QDateTime::fromMSecsSinceEpoch(wallMs).time().toString(QStringLiteral("HH:mm:ss.zzz"));
}

QString trafficDelta(qint64 ns)
{
    const qint64 us = (std::max<qint64>(0, ns) + 500) / 1000;
    return QStringLiteral("+%1.%2").arg(us / 1000).arg(us % 1000, 3, 10, QLatin1Char('0'));
}

QString trafficArrow(TrafficRow::Kind kind)
{
    switch (kind) {
    case TrafficRow::Kind::Sent:
        return QStringLiteral("→");
    case TrafficRow::Kind::Received:
        return QStringLiteral("←");
    case TrafficRow::Kind::Marker:
        break;
    }
    return QStringLiteral("--");
}

QString trafficLogLine(const TrafficRow& row)
{
    // A local time takes a time zone lookup; at hundreds of rows a second most share
    // their second with the row before.
    thread_local qint64 second = std::numeric_limits<qint64>::min();
    thread_local QString date;
    const qint64 s = row.wallMs >= 0 ? row.wallMs / 1000 : (row.wallMs - 999) / 1000;
    if (s != second) {
        second = s;
        date = QDateTime::fromMSecsSinceEpoch(s * 1000).toString(
            QStringLiteral("yyyy-MM-dd HH:mm:ss."));
    }
    const int ms = int(row.wallMs - s * 1000);
    QString line = date;
    line += QLatin1Char(char('0' + ms / 100));
    line += QLatin1Char(char('0' + ms / 10 % 10));
    line += QLatin1Char(char('0' + ms % 10));
    line += QLatin1Char(' ');
    line += trafficArrow(row.kind);
    line += QLatin1Char(' ');
    line += trafficRowText(row);
    return line;
}

void TrafficRowSplitter::feed(TrafficRow::Kind kind, const QByteArray& bytes, qint64 monoNs,
    qint64 wallMs, std::vector<TrafficRow>& done)
{
    if (bytes.isEmpty())
        return;
    if (hasPartial() && m_row.kind != kind)
        close(done);
    qsizetype from = 0;
    // A CR that ended the last chunk ends its row unless this chunk goes on with the LF.
    if (hasPartial() && m_row.bytes.endsWith('\r')) {
        if (bytes.front() == '\n') {
            m_row.bytes += '\n';
            from = 1;
        }
        close(done);
    }
    const qsizetype n = bytes.size();
    for (qsizetype i = from; i < n; ++i) {
        const char c = bytes[i];
        const bool lineEnd = c == '\n' || (c == '\r' && i + 1 < n && bytes[i + 1] != '\n');
        const bool full = m_row.bytes.size() + (i - from) + 1 >= MaxRowBytes;
        if (!lineEnd && !full)
            continue;
        if (!hasPartial()) {
            m_row.kind = kind;
            m_row.monoNs = monoNs;
            m_row.wallMs = wallMs;
        }
        m_row.bytes.append(bytes.constData() + from, i + 1 - from);
        from = i + 1;
        close(done);
    }
    if (from < n) {
        if (!hasPartial()) {
            m_row.kind = kind;
            m_row.monoNs = monoNs;
            m_row.wallMs = wallMs;
        }
        m_row.bytes.append(bytes.constData() + from, n - from);
    }
    m_lastNs = monoNs;
}

void TrafficRowSplitter::close(std::vector<TrafficRow>& done)
{
    if (!hasPartial())
        return;
    done.push_back(std::move(m_row));
    m_row = TrafficRow {};
}
