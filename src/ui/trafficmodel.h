#pragma once

#include "link/trafficrow.h"

#include <QAbstractTableModel>
#include <deque>

// The rows of the traffic view: at most MaxRows, the oldest dropped (and counted)
// beyond that, in a ring of blocks so that dropping costs little. Rows come in at the line's
// rate and are inserted in batches as a RedrawPacer says (at once after a quiet spell,
// every 90 ms while they stream), so that the view redraws a few times a second
// whatever the rate. While paused, rows wait (up to MaxRows of them)
// and come in on resume.
class RedrawPacer;

class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        TimeColumn,
        DirectionColumn,
        TextColumn,
        HexColumn,
        ColumnCount
    };
    static constexpr int MaxRows = 50000;

    explicit TrafficModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes a row; it shows with the next batch.
    void add(const TrafficRow& row);
    // Inserts the waiting rows now.
    void insertPending();
    void clear();
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // The time column: the time of day, or the time since the row above.
    void setRelativeTime(bool relative);
    bool relativeTime() const { return m_relative; }
    // Rows dropped as the oldest beyond MaxRows since the last clear.
    qint64 dropped() const { return m_dropped; }

    const TrafficRow& rowAt(int row) const { return entry(row).row; }
    // Every row held, as lines of a log file, each ended by a line feed.
    QByteArray logText() const;

Q_SIGNALS:
    // Rows were inserted, dropped or cleared.
    void rowsChanged();

private:
    struct Entry
    {
        TrafficRow row;
        qint64 deltaNs = 0; // since the row before it
    };
    const Entry& entry(int row) const;

    std::deque<Entry> m_rows; // a ring of blocks: the oldest go at no cost
    std::deque<Entry> m_pending;
    qint64 m_lastNs = -1; // the monotonic time of the last row taken
    qint64 m_dropped = 0;
    bool m_paused = false;
    bool m_relative = false;
    RedrawPacer* m_batch = nullptr;
};
