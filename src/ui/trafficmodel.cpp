#include "trafficmodel.h"

#include "redrawpacer.h"

#include <QBrush>
#include <QColor>

TrafficModel::TrafficModel(QObject* parent)
    : QAbstractTableModel(parent)
{
    m_batch = new RedrawPacer([this] { insertPending(); }, this);
}

int TrafficModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const TrafficModel::Entry& TrafficModel::entry(int row) const
{
    return m_rows[size_t(row)];
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const Entry& e = entry(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case TimeColumn:
            return m_relative ? trafficDelta(e.deltaNs) : trafficClock(e.row.wallMs);
        case DirectionColumn:
            return trafficArrow(e.row.kind);
        case TextColumn:
            return trafficRowText(e.row);
        case HexColumn:
            return e.row.kind == TrafficRow::Kind::Marker ? QString() : trafficHex(e.row.bytes);
        default:
            return {};
        }
    }
    if (role == Qt::ForegroundRole) {
        switch (e.row.kind) {
        case TrafficRow::Kind::Sent:
            return QBrush(QColor(0x00, 0x40, 0xC0));
        case TrafficRow::Kind::Received:
            return QBrush(QColor(0x00, 0x80, 0x20));
        case TrafficRow::Kind::Marker:
            return QBrush(QColor(0x80, 0x80, 0x80));
        }
    }
    return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return m_relative ? QStringLiteral("Δ ms") : QStringLiteral("Time");
    case DirectionColumn:
        return QString();
    case TextColumn:
        return QStringLiteral("Text");
    case HexColumn:
        return QStringLiteral("Hex");
    default:
        return {};
    }
}

void TrafficModel::add(const TrafficRow& row)
{
    Entry e { row, m_lastNs < 0 ? 0 : row.monoNs - m_lastNs };
    m_lastNs = row.monoNs;
    if (m_pending.size() >= size_t(MaxRows)) {
        // A long pause: what waits beyond a full view would be dropped on resume.
        m_pending.pop_front();
        ++m_dropped;
    }
    m_pending.push_back(std::move(e));
    if (!m_paused)
        m_batch->request();
}

void TrafficModel::insertPending()
{
    m_batch->drawn();
    if (m_pending.empty() || m_paused)
        return;
    const size_t max = size_t(MaxRows);
    const size_t incoming = m_pending.size();
    const size_t held = m_rows.size();
    const size_t drop = std::min(held, held + incoming > max ? held + incoming - max : 0);
    if (drop > 0) {
        beginRemoveRows({}, 0, int(drop) - 1);
        m_rows.erase(m_rows.begin(), m_rows.begin() + qsizetype(drop));
        m_dropped += qint64(drop);
        endRemoveRows();
    }
    const size_t take = std::min(incoming, max - m_rows.size());
    m_dropped += qint64(incoming - take);
    const int first = int(m_rows.size());
    beginInsertRows({}, first, first + int(take) - 1);
    for (size_t i = incoming - take; i < incoming; ++i)
        m_rows.push_back(std::move(m_pending[i]));
    m_pending.clear();
    endInsertRows();
    Q_EMIT rowsChanged();
}

void TrafficModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_pending.clear();
    m_dropped = 0;
    endResetModel();
    Q_EMIT rowsChanged();
}

void TrafficModel::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        insertPending();
}

void TrafficModel::setRelativeTime(bool relative)
{
    if (relative == m_relative)
        return;
    m_relative = relative;
    Q_EMIT headerDataChanged(Qt::Horizontal, TimeColumn, TimeColumn);
    if (!m_rows.empty())
        Q_EMIT dataChanged(index(0, TimeColumn), index(rowCount() - 1, TimeColumn));
}

QByteArray TrafficModel::logText() const
{
    QByteArray out;
    for (int r = 0; r < rowCount(); ++r) {
        out += trafficLogLine(entry(r).row).toUtf8();
        out += '\n';
    }
    return out;
}
