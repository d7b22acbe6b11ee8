#pragma once

#include "trafficrow.h"

#include <QObject>
#include <QTimer>
#include <vector>

// Sees every byte the port writes and reads and hands it on as rows (see
// TrafficRowSplitter), each stamped with the monotonic and the wall-clock time of
// its first byte, with markers between them. A row left open by a quiet line is
// closed QuietCloseMs after its last byte, so that a view is never more than twice
// that behind. With nothing connected to rowReady it neither stamps nor keeps
// anything.
class TrafficRecorder : public QObject
{
    Q_OBJECT
public:
    explicit TrafficRecorder(QObject* parent = nullptr);

    static constexpr int QuietCloseMs = 50;

    // Whether anyone takes the rows; a caller may skip building a marker's text.
    bool isListened() const;
    // Bytes that went over the line one way (Kind::Sent or Kind::Received).
    void record(TrafficRow::Kind kind, const QByteArray& bytes);
    // A row of its own with `text`, closing the row in progress first.
    void marker(const QString& text);
    // Hands on the row in progress now (before a log is closed, say).
    void flush();

    // The monotonic clock the rows are stamped with, in ns.
    static qint64 monotonicNs();

Q_SIGNALS:
    // Sent in order, directly: a listener that keeps the row copies it.
    void rowReady(const TrafficRow& row);

private:
    void emitDone();
    void onQuiet();

    TrafficRowSplitter m_splitter;
    std::vector<TrafficRow> m_done;
    QTimer m_quiet;
    bool m_emitting = false; // inside emitDone
};

class OperationRunner;

// Marks the start and the end (with its outcome) of every operation `runner` runs.
void markOperations(const OperationRunner& runner, TrafficRecorder& recorder);
