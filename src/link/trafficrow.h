#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

// One row of the traffic log: a line that went over the port one way, or a marker
// (port opened, closed, lost, an operation's start or end) between them.
struct TrafficRow
{
    enum class Kind : quint8
    {
        Sent,
        Received,
        Marker
    };
    Kind kind = Kind::Marker;
    qint64 monoNs = 0; // monotonic clock, ns, at the row's first byte
    qint64 wallMs = 0; // wall clock, ms since the epoch, at the row's first byte
    QByteArray bytes; // the line's bytes; a marker's text in UTF-8
};

// The bytes of a row as text: printable ASCII as it is, CR as <CR>, LF as <LF>, every
// other byte (a backslash too, so that \x always means an escape) as \xHH.
QString trafficText(const QByteArray& bytes);
// The text column of a row: trafficText of a line, a marker's own text.
QString trafficRowText(const TrafficRow& row);
// "31 20 45 0D": every byte in two upper-case hex digits, a blank between.
QString trafficHex(const QByteArray& bytes);
// Local time of day "HH:MM:SS.mmm".
QString trafficClock(qint64 wallMs);
// The time since the previous row in milliseconds to the microsecond, "+12.345".
QString trafficDelta(qint64 ns);
// "→" sent, "←" received, "--" a marker.
QString trafficArrow(TrafficRow::Kind kind);
// The row as a line of a log file or of --trace, without the line end:
// "YYYY-MM-DD HH:MM:SS.mmm → text" in local time.
QString trafficLogLine(const TrafficRow& row);

// Cuts the bytes of both directions into rows of one line each. A row ends after an
// LF, or after a CR that no LF follows; bytes of the other direction, or a marker,
// close the row in progress; a row reaching MaxRowBytes is closed, so a stream
// without line ends still makes rows. Knows no clock: each chunk brings its times.
class TrafficRowSplitter
{
public:
    static constexpr qsizetype MaxRowBytes = 256;

    // Appends to `done` the rows that `bytes` completes. The times are those of the
    // chunk's first byte; a row takes the times of the chunk that began it.
    void feed(TrafficRow::Kind kind, const QByteArray& bytes, qint64 monoNs, qint64 wallMs,
        std::vector<TrafficRow>& done);
    // Appends the row in progress, if any, to `done`.
    void close(std::vector<TrafficRow>& done);
    bool hasPartial() const { return !m_row.bytes.isEmpty(); }
    // When the last byte of the row in progress came (monotonic ns).
    qint64 lastByteNs() const { return m_lastNs; }

private:
    TrafficRow m_row;
    qint64 m_lastNs = 0;
};
