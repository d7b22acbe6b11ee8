#include "trafficrecorder.h"

#include "core/operationrunner.h"

#include <QDateTime>
#include <QMetaMethod>

#include <chrono>

TrafficRecorder::TrafficRecorder(QObject* parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &QTimer::timeout, this, &TrafficRecorder::onQuiet);
}

qint64 TrafficRecorder::monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TrafficRecorder::isListened() const
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&TrafficRecorder::rowReady);
    return isSignalConnected(signal);
}

void TrafficRecorder::record(TrafficRow::Kind kind, const QByteArray& bytes)
{
    if (!isListened()) {
        // A listener that comes later starts on a fresh row.
        if (m_splitter.hasPartial())
            m_splitter = {};
        return;
    }
    m_splitter.feed(kind, bytes, monotonicNs(), QDateTime::currentMSecsSinceEpoch(), m_done);
    emitDone();
    // One timer start per quiet spell, not per chunk: onQuiet re-arms for the rest.
    if (m_splitter.hasPartial() && !m_quiet.isActive())
        m_quiet.start(QuietCloseMs);
}

void TrafficRecorder::marker(const QString& text)
{
    if (!isListened())
        return;
    m_splitter.close(m_done);
    TrafficRow row;
    row.kind = TrafficRow::Kind::Marker;
    row.monoNs = monotonicNs();
    row.wallMs = QDateTime::currentMSecsSinceEpoch();
    row.bytes = text.toUtf8();
    m_done.push_back(std::move(row));
    emitDone();
}

void TrafficRecorder::flush()
{
    m_splitter.close(m_done);
    emitDone();
}

void TrafficRecorder::emitDone()
{
    // A listener may add a marker from its slot: it joins the end of the queue, so
    // every listener sees the rows in one order.
    if (m_emitting)
        return;
    m_emitting = true;
    for (size_t i = 0; i < m_done.size(); ++i) {
        const TrafficRow row = std::move(m_done[i]);
        Q_EMIT rowReady(row);
    }
    m_done.clear();
    m_emitting = false;
}

void TrafficRecorder::onQuiet()
{
    if (!m_splitter.hasPartial())
        return;
    const qint64 quietNs = qint64(QuietCloseMs) * 1'000'000;
    const qint64 since = monotonicNs() - m_splitter.lastByteNs();
    if (since + 1'000'000 >= quietNs) {
        flush();
        return;
    }
    m_quiet.start(int((quietNs - since) / 1'000'000) + 1);
}

void markOperations(const OperationRunner& runner, TrafficRecorder& recorder)
{
    QObject::connect(&runner, &OperationRunner::started, &recorder,
        [&recorder](const QString& label) { recorder.marker(QStringLiteral("start: ") + label); });
    QObject::connect(&runner, &OperationRunner::finished, &recorder,
        [&recorder](const QString& label, const Outcome& outcome) {
            recorder.marker(QStringLiteral("end: %1 %2").arg(label, outcome.text()));
        });
}
