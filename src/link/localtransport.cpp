#include "localtransport.h"

#include "portscanner.h"
#include "seriallink.h"

#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

LocalTransport::LocalTransport(qint64 readBuffer, QObject* parent)
    : LinkTransport(parent)
{
    m_port.setReadBufferSize(readBuffer);
    connect(&m_port, &QSerialPort::readyRead, this, &LinkTransport::readyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &LocalTransport::onError);
}

LocalTransport::~LocalTransport()
{
    m_port.disconnect(this);
    if (m_port.isOpen())
        m_port.close();
}

bool LocalTransport::open(const QString& name, qint32 baud)
{
    m_permissionDenied = false;
    // A by-id or usb: name is looked up at every open, so an adapter that came back
    // under another ttyUSB number is still the one opened.
    const QString node = PortScanner().resolve(name, &m_reason);
    if (node.isEmpty())
        return false;
    m_port.setPortName(node);
    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (m_port.open(QIODevice::ReadWrite)) {
        m_reason.clear();
        m_port.clear(QSerialPort::AllDirections);
        return true;
    }
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        m_reason = QStringLiteral("no such device");
        break;
    case QSerialPort::PermissionError:
        // QSerialPort reports a port locked by another program as a permission
        // error too; the lock file or the device's access bits tell which.
        if (QFileInfo(node).exists() && QFileInfo(node).isReadable()
            && QFileInfo(node).isWritable()) {
            m_reason = SerialLink::busyText(node);
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
    return false;
}

void LocalTransport::close()
{
    if (m_port.isOpen())
        m_port.close();
}

void LocalTransport::write(const QByteArray& bytes)
{
    QByteArray rest = bytes;
#ifdef Q_OS_UNIX
    // With nothing queued in Qt, the bytes go straight to the driver: the system call
    // Qt's flush would make, without Qt's write notification, which costs the event
    // loop a pass and two wake-ups a line (a download writes hundreds of lines a
    // second). What the driver does not take now (a full queue, an error) goes Qt's
    // way, which waits for the line or reports the error as ever.
    if (m_port.bytesToWrite() == 0) {
        const ssize_t n = ::write(int(m_port.handle()), bytes.constData(), size_t(bytes.size()));
        if (n == bytes.size())
            return;
        if (n > 0)
            rest = bytes.mid(n);
    }
#endif
    m_writing = true;
    m_port.write(rest);
    // Hand the bytes to the driver now rather than on the next pass of the event
    // loop, so that they leave when their line time starts counting.
    m_port.flush();
    m_writing = false;
}

qint64 LocalTransport::lineQueued() const
{
#ifdef Q_OS_UNIX
    int queued = 0;
    if (m_port.isOpen() && ::ioctl(int(m_port.handle()), TIOCOUTQ, &queued) == 0 && queued > 0)
        return queued;
#endif
    return 0;
}

QByteArray LocalTransport::read(qint64 maxBytes)
{
    return maxBytes > 0 ? m_port.read(maxBytes) : m_port.readAll();
}

void LocalTransport::onError(QSerialPort::SerialPortError error)
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
        if (m_port.isOpen()) {
            m_port.close();
            Q_EMIT lost(QStringLiteral("device lost"));
        }
        return;
    default:
        return;
    }
}
