#include "seriallink.h"

#include "core/eventwait.h"
#include "localtransport.h"
#include "portscanner.h"
#include "rfc2217transport.h"
#include "tcptransport.h"

#include <QTimer>

#include <climits>
#include <cmath>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#endif

SerialLink::SerialLink(QObject* parent)
    : QObject(parent)
{
    m_clock.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
}

SerialLink::~SerialLink()
{
    m_transport.reset();
    m_wakeNotifier.reset();
#ifdef Q_OS_UNIX
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
#endif
}

QString SerialLink::defaultDevice(int comPort)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
}

bool SerialLink::open(const QString& device, qint32 baud)
{
    if (isOpen()) {
        m_transport->close();
        closedMarker();
    }
    m_device = device;
    m_baud = baud;
    m_permissionDenied = false;
    m_transport.reset();
    if (device.isEmpty()) {
        m_reason = QStringLiteral("no device configured");
    } else {
        if (device.startsWith(QLatin1String("socket://")))
            m_transport = std::make_unique<TcpTransport>(MaxReadBuffer);
        else if (device.startsWith(QLatin1String("rfc2217://")))
            m_transport = std::make_unique<Rfc2217Transport>(MaxReadBuffer);
        else
            m_transport = std::make_unique<LocalTransport>(MaxReadBuffer);
        connect(m_transport.get(), &LinkTransport::readyRead, this, &SerialLink::received);
        connect(m_transport.get(), &LinkTransport::lost, this, &SerialLink::onTransportLost);
        if (m_transport->open(device, baud)) {
            m_reason.clear();
            m_wasLost = false;
            if (m_traffic.isListened())
                m_traffic.marker(QStringLiteral("port %1 opened at %2 baud").arg(device).arg(baud));
        } else {
            m_reason = m_transport->reason();
            m_permissionDenied = m_transport->permissionDenied();
        }
    }
    if (!isOpen() && m_traffic.isListened())
        m_traffic.marker(QStringLiteral("port %1 not opened: %2").arg(device, m_reason));
    Q_EMIT stateChanged();
    return isOpen();
}

QString SerialLink::busyText(const QString& node)
{
    qint64 pid = 0;
    QString program;
    PortScanner().findHolder(node, pid, program);
    if (pid <= 0)
        return QStringLiteral("busy (in use by another program)");
    if (program.isEmpty())
        return QStringLiteral("busy (in use by process %1)").arg(pid);
    return QStringLiteral("busy (in use by %1, PID %2)").arg(program).arg(pid);
}

void SerialLink::close()
{
    if (isOpen()) {
        m_transport->close();
        closedMarker();
        m_reason = QStringLiteral("closed");
        Q_EMIT stateChanged();
    }
}

bool SerialLink::isOpen() const
{
    return m_transport && m_transport->isOpen();
}

QString SerialLink::statusText() const
{
    const QString line = QStringLiteral("%1,n,8,1").arg(m_baud);
    QString state = isOpen() ? QStringLiteral("open") : m_reason;
#ifndef Q_OS_WIN
    if (!isOpen() && m_permissionDenied)
        state += QStringLiteral(
            " (join the dialout group: sudo adduser $USER dialout, then log in again)");
#endif
    return QStringLiteral("%1  %2  %3")
        .arg(m_device.isEmpty() ? QStringLiteral("(no device)") : m_device, line, state);
}

void SerialLink::write(const QByteArray& bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    trace(Direction::Write, bytes);
    m_transport->write(bytes);
    m_lineFreeNs = std::max(m_lineFreeNs, m_clock.nsecsElapsed()) + lineTimeNs(bytes.size());
}

qint64 SerialLink::lineTimeNs(qint64 bytes) const
{
    const qint64 baud = m_baud > 0 ? m_baud : 9600;
    return (bytes * 10 * 1000000000LL + baud - 1) / baud;
}

qint64 SerialLink::lineBusyNs() const
{
    qint64 left = std::max<qint64>(0, m_lineFreeNs - m_clock.nsecsElapsed());
    // Characters still in the driver (a real UART) take their line time from now.
    if (isOpen())
        left = std::max(left, lineTimeNs(m_transport->lineQueued()));
    return left;
}

qint64 SerialLink::bytesToWrite() const
{
    return isOpen() ? m_transport->bytesToWrite() : 0;
}

qint64 SerialLink::outputQueued() const
{
    return isOpen() ? m_transport->bytesToWrite() + m_transport->lineQueued() : 0;
}

void SerialLink::waitForDrain()
{
    // Qt's own queue empties with a bytesWritten event; the line time and the
    // driver's queue are waited out with a wake-up set to when they should be done,
    // and to when the port is given up. A write made meanwhile (Cancel's, from
    // inside this wait) moves that point on with the line time it adds.
    const qint64 start = m_clock.nsecsElapsed();
    waitUntil([&] {
        if (!isOpen())
            return true;
        const bool withQt = m_transport->bytesToWrite() > 0;
        const qint64 left = withQt ? 0 : lineBusyNs();
        if (!withQt && left <= 0)
            return true;
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 giveUpAt = std::max(start, m_lineFreeNs) + StallGraceNs;
        if (now >= giveUpAt) {
            const QString reason = StalledText.arg(m_device).arg(outputQueued());
            // A serial driver holds a close up to 30 s for bytes it could not send.
            m_transport->dropOutput();
            markLost(reason);
            return true;
        }
        wakeAfter(withQt ? giveUpAt - now : std::min(left, giveUpAt - now));
        return false;
    });
}

void SerialLink::wakeAfter(qint64 ns)
{
#ifdef Q_OS_LINUX
    // A line time is often below a millisecond; a timer file wakes on the
    // nanosecond, where a QTimer would round every line up to the next millisecond.
    if (m_wakeFd < 0) {
        m_wakeFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_wakeFd >= 0) {
            m_wakeNotifier = std::make_unique<QSocketNotifier>(m_wakeFd, QSocketNotifier::Read);
            connect(m_wakeNotifier.get(), &QSocketNotifier::activated, this, [this] {
                quint64 expirations = 0;
                [[maybe_unused]] const ssize_t n
                    = ::read(m_wakeFd, &expirations, sizeof expirations);
            });
        }
    }
    if (m_wakeFd >= 0) {
        itimerspec when {};
        when.it_value.tv_sec = time_t(ns / 1000000000);
        when.it_value.tv_nsec = long(ns % 1000000000);
        if (::timerfd_settime(m_wakeFd, 0, &when, nullptr) == 0)
            return;
    }
#endif
    const int ms = int(std::min<qint64>(std::max<qint64>(1, (ns + 999999) / 1000000), INT_MAX));
    if (!m_wake.isActive() || m_wake.remainingTime() > ms)
        m_wake.start(ms);
}

qint64 SerialLink::bytesAvailable() const
{
    return isOpen() ? m_transport->bytesAvailable() : 0;
}

QByteArray SerialLink::read(qint64 maxBytes)
{
    if (!isOpen())
        return {};
    QByteArray bytes = m_transport->read(maxBytes);
    if (!bytes.isEmpty())
        trace(Direction::Read, bytes);
    return bytes;
}

void SerialLink::discardInput()
{
    if (isOpen())
        read(0);
}

void SerialLink::onTransportLost(const QString& reason)
{
    // The transport has closed itself already.
    if (m_traffic.isListened())
        m_traffic.marker(QStringLiteral("port %1 lost: %2").arg(m_device, reason));
    m_reason = reason;
    m_wasLost = true;
    Q_EMIT stateChanged();
    Q_EMIT lost(m_reason);
}

void SerialLink::markLost(const QString& reason)
{
    if (!isOpen())
        return;
    m_transport->close();
    onTransportLost(reason);
}

void SerialLink::trace(Direction d, const QByteArray& bytes)
{
    if (m_tracer)
        m_tracer(d, bytes);
    if (m_traffic.isListened())
        m_traffic.record(
            d == Direction::Write ? TrafficRow::Kind::Sent : TrafficRow::Kind::Received, bytes);
}

void SerialLink::closedMarker()
{
    if (m_traffic.isListened())
        m_traffic.marker(QStringLiteral("port %1 closed").arg(m_device));
}
