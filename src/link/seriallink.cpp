#include "seriallink.h"

#include "core/eventwait.h"

#include <QFileInfo>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cmath>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#endif

SerialLink::SerialLink(QObject* parent)
    : QObject(parent)
{
    m_port.setReadBufferSize(MaxReadBuffer);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialLink::received);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
    m_clock.start();
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
}

SerialLink::~SerialLink()
{
    m_port.disconnect(this);
    if (m_port.isOpen())
        m_port.close();
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
    if (m_port.isOpen()) {
        m_port.close();
        closedMarker();
    }
    m_device = device;
    m_baud = baud;
    m_permissionDenied = false;
    m_port.setPortName(device);
    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (device.isEmpty()) {
        m_reason = QStringLiteral("no device configured");
    } else if (m_port.open(QIODevice::ReadWrite)) {
        m_reason.clear();
        m_wasLost = false;
        m_port.clear(QSerialPort::AllDirections);
        if (m_traffic.isListened())
            m_traffic.marker(QStringLiteral("port %1 opened at %2 baud").arg(device).arg(baud));
    } else {
        switch (m_port.error()) {
        case QSerialPort::DeviceNotFoundError:
            m_reason = QStringLiteral("no such device");
            break;
        case QSerialPort::PermissionError:
            // QSerialPort reports a port locked by another program as a permission
            // error too; the lock file or the device's access bits tell which.
            if (QFileInfo(device).exists() && QFileInfo(device).isReadable()
                && QFileInfo(device).isWritable()) {
                m_reason = QStringLiteral("busy (in use by another program)");
            } else {
                m_reason = QStringLiteral("permission denied");
                m_permissionDenied = true;
            }
            break;
        default:
            m_reason = m_port.errorString();
            if (m_reason.isEmpty())
                m_reason = QStringLiteral("cannot be opened");
            break;
        }
    }
    if (!m_port.isOpen() && m_traffic.isListened())
        m_traffic.marker(QStringLiteral("port %1 not opened: %2").arg(device, m_reason));
    Q_EMIT stateChanged();
    return m_port.isOpen();
}

void SerialLink::close()
{
    if (m_port.isOpen()) {
        m_port.close();
        closedMarker();
        m_reason = QStringLiteral("closed");
        Q_EMIT stateChanged();
    }
}

bool SerialLink::isOpen() const
{
    return m_port.isOpen();
}

QString SerialLink::statusText() const
{
    const QString line = QStringLiteral("%1,n,8,1").arg(m_baud);
    QString state = m_port.isOpen() ? QStringLiteral("open") : m_reason;
#ifndef Q_OS_WIN
    if (!m_port.isOpen() && m_permissionDenied)
        state += QStringLiteral(
            " (join the dialout group: sudo adduser $USER dialout, then log in again)");
#endif
    return QStringLiteral("%1  %2  %3")
        .arg(m_device.isEmpty() ? QStringLiteral("(no device)") : m_device, line, state);
}

void SerialLink::write(const QByteArray& bytes)
{
    if (!m_port.isOpen() || bytes.isEmpty())
        return;
    trace(Direction::Write, bytes);
    m_writing = true;
    m_port.write(bytes);
    // Hand the bytes to the driver now rather than on the next pass of the event
    // loop, so that they leave when their line time starts counting.
    m_port.flush();
    m_writing = false;
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
#ifdef Q_OS_UNIX
    // Characters still in the driver (a real UART) take their line time from now.
    int queued = 0;
    if (m_port.isOpen() && ::ioctl(int(m_port.handle()), TIOCOUTQ, &queued) == 0 && queued > 0)
        left = std::max(left, lineTimeNs(queued));
#endif
    return left;
}

qint64 SerialLink::bytesToWrite() const
{
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

qint64 SerialLink::outputQueued() const
{
    if (!m_port.isOpen())
        return 0;
    qint64 queued = m_port.bytesToWrite();
#ifdef Q_OS_UNIX
    int inDriver = 0;
    if (::ioctl(int(m_port.handle()), TIOCOUTQ, &inDriver) == 0 && inDriver > 0)
        queued += inDriver;
#endif
    return queued;
}

void SerialLink::waitForDrain()
{
    // Qt's own queue empties with a bytesWritten event; the line time and the
    // driver's queue are waited out with a wake-up set to when they should be done,
    // and to when the port is given up. A write made meanwhile (Cancel's, from
    // inside this wait) moves that point on with the line time it adds.
    const qint64 start = m_clock.nsecsElapsed();
    waitUntil([&] {
        if (!m_port.isOpen())
            return true;
        const bool withQt = m_port.bytesToWrite() > 0;
        const qint64 left = withQt ? 0 : lineBusyNs();
        if (!withQt && left <= 0)
            return true;
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 giveUpAt = std::max(start, m_lineFreeNs) + StallGraceNs;
        if (now >= giveUpAt) {
            const QString reason = StalledText.arg(m_device).arg(outputQueued());
            // A serial driver holds a close up to 30 s for bytes it could not send.
            m_port.clear(QSerialPort::Output);
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
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

QByteArray SerialLink::read(qint64 maxBytes)
{
    if (!m_port.isOpen())
        return {};
    QByteArray bytes = maxBytes > 0 ? m_port.read(maxBytes) : m_port.readAll();
    if (!bytes.isEmpty())
        trace(Direction::Read, bytes);
    return bytes;
}

void SerialLink::discardInput()
{
    if (m_port.isOpen())
        read(0);
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // DTR, RTS and pinout on a pty
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ResourceError:
        // A full output queue refuses the write with EAGAIN: the bytes stay with Qt
        // and leave when the line takes them again; a line that never does is the
        // drain's to give up. Only the write's own error is fresh enough to tell.
        if (m_writing && m_port.errorString() == qt_error_string(EAGAIN))
            return;
        [[fallthrough]];
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // A vanished device keeps the port "open" and repeats the error endlessly;
        // close it once. The error text carries a stale errno, so it is not used.
        markLost(QStringLiteral("device lost"));
        return;
    default:
        return;
    }
}

void SerialLink::markLost(const QString& reason)
{
    if (!m_port.isOpen())
        return;
    m_port.close();
    if (m_traffic.isListened())
        m_traffic.marker(QStringLiteral("port %1 lost: %2").arg(m_device, reason));
    m_reason = reason;
    m_wasLost = true;
    Q_EMIT stateChanged();
    Q_EMIT lost(m_reason);
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
