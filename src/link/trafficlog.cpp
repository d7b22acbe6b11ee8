#include "trafficlog.h"

#include "trafficrecorder.h"

#include <QFileInfo>

namespace {

// Pending text beyond this is written at once rather than on the flush timer.
constexpr qsizetype WriteOutBytes = 64 * 1024;

} // namespace

TrafficLog::TrafficLog(QObject* parent)
    : QObject(parent)
{
    m_flush.setSingleShot(true);
    connect(&m_flush, &QTimer::timeout, this, [this] { writeOut(); });
}

TrafficLog::~TrafficLog()
{
    stop();
}

bool TrafficLog::start(
    TrafficRecorder& recorder, const QString& path, qint64 maxBytes, QString* why)
{
    stop();
    m_path = path;
    m_maxBytes = std::max<qint64>(1, maxBytes);
    m_file.setFileName(path);
    const QFileInfo info(path);
    // A device or a pipe cannot be appended to (nor renamed); a missing file is
    // regular once created.
    m_rotates = info.isFile() || !info.exists();
    // Unbuffered: a failed write shows in write()'s result, not in a later flush.
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (m_rotates)
        mode |= QIODevice::Append;
    if (!m_file.open(mode)) {
        if (why)
            *why = m_file.errorString();
        return false;
    }
    m_size = m_rotates ? m_file.size() : 0;
    m_recorder = &recorder;
    m_connection = connect(&recorder, &TrafficRecorder::rowReady, this, &TrafficLog::add);
    return true;
}

void TrafficLog::stop()
{
    if (m_recorder) {
        // The row in progress belongs in the file too.
        m_recorder->flush();
        disconnect(m_connection);
    }
    m_recorder.clear();
    if (m_file.isOpen()) {
        writeOut();
        m_file.close();
    }
    m_pending.clear();
    m_flush.stop();
}

void TrafficLog::add(const TrafficRow& row)
{
    if (!m_file.isOpen())
        return;
    QByteArray line = trafficLogLine(row).toUtf8();
    line += '\n';
    // A file never grows past maxBytes, unless by a single line longer than that.
    const qint64 held = m_size + m_pending.size();
    if (m_rotates && held > 0 && held + line.size() > m_maxBytes) {
        if (!writeOut() || !rotate())
            return;
    }
    m_pending += line;
    if (m_pending.size() >= WriteOutBytes)
        writeOut();
    else if (!m_flush.isActive())
        m_flush.start(FlushMs);
}

bool TrafficLog::writeOut()
{
    m_flush.stop();
    if (!m_file.isOpen() || m_pending.isEmpty())
        return m_file.isOpen();
    const qint64 written = m_file.write(m_pending);
    if (written != m_pending.size()) {
        fail(m_file.errorString());
        return false;
    }
    m_size += written;
    m_pending.clear();
    return true;
}

bool TrafficLog::rotate()
{
    m_file.close();
    QFile::remove(QStringLiteral("%1.%2").arg(m_path).arg(Keep));
    for (int n = Keep - 1; n >= 1; --n) {
        const QString from = QStringLiteral("%1.%2").arg(m_path).arg(n);
        if (QFile::exists(from))
            QFile::rename(from, QStringLiteral("%1.%2").arg(m_path).arg(n + 1));
    }
    if (!QFile::rename(m_path, m_path + QStringLiteral(".1"))) {
        fail(QStringLiteral("it cannot be renamed to %1.1").arg(m_path));
        return false;
    }
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        fail(m_file.errorString());
        return false;
    }
    m_size = 0;
    return true;
}

void TrafficLog::fail(const QString& reason)
{
    disconnect(m_connection);
    m_recorder.clear();
    m_file.close();
    m_pending.clear();
    m_flush.stop();
    Q_EMIT failed(StoppedText.arg(m_path, reason));
}
