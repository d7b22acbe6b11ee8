#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class TrafficRecorder;
struct TrafficRow;

// The traffic rows as a text file, one trafficLogLine a row, appended to FILE. The
// lines reach the disk within FlushMs; once FILE holds maxBytes it becomes FILE.1
// (FILE.1 becomes FILE.2 and so on, Keep files kept) and a new FILE starts. A write
// that fails (a full disk) stops the log, with one message through `failed`; the
// port's work goes on without it.
class TrafficLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaxBytes = 10 * 1024 * 1024;
    static constexpr int Keep = 3;
    static constexpr int FlushMs = 1000;
    // "%1" the file, "%2" the system's reason.
    static inline const QString StoppedText = QStringLiteral("Traffic log stopped: %1: %2");
    static inline const QString NotStartedText = QStringLiteral("Traffic log not started: %1: %2");

    explicit TrafficLog(QObject* parent = nullptr);
    ~TrafficLog() override;

    // Starts logging the rows of `recorder` to `path` (appending to a file that is
    // there); false, with the reason in *why, when the file cannot be opened.
    bool start(TrafficRecorder& recorder, const QString& path, qint64 maxBytes, QString* why);
    // Writes out what is pending and closes the file.
    void stop();
    bool isActive() const { return m_file.isOpen(); }
    QString path() const { return m_path; }

    void add(const TrafficRow& row);

Q_SIGNALS:
    // The log has stopped after a failed write; `message` says which file and why.
    void failed(const QString& message);

private:
    bool writeOut();
    bool rotate();
    void fail(const QString& reason);

    QPointer<TrafficRecorder> m_recorder;
    QMetaObject::Connection m_connection;
    QString m_path;
    QFile m_file;
    QByteArray m_pending;
    qint64 m_size = 0; // bytes in the current file
    qint64 m_maxBytes = DefaultMaxBytes;
    bool m_rotates = false; // a regular file: a device or a pipe is never renamed
    QTimer m_flush;
};
