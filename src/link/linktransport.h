#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// What carries SerialLink's bytes: a local serial device, a raw TCP connection to a
// serial device server, or one speaking Telnet with COM Port Control. SerialLink
// keeps the line time, the tracing and the states above it; a transport only opens,
// moves bytes and says when it is gone.
class LinkTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens at baud, 8 data bits, no parity, 1 stop bit, no flow control, with the
    // input and output of the far end purged. On failure reason() says why.
    virtual bool open(const QString& name, qint32 baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Queues bytes and hands them on at once.
    virtual void write(const QByteArray& bytes) = 0;
    // Bytes not yet handed to the device or the network.
    virtual qint64 bytesToWrite() const = 0;
    // Bytes handed on that the serial line has not carried yet, where the system
    // tells (a local UART's driver queue); 0 otherwise.
    virtual qint64 lineQueued() const { return 0; }
    // Drops what is queued for sending (a stalled line).
    virtual void dropOutput() { }
    virtual qint64 bytesAvailable() const = 0;
    // Up to maxBytes (0: everything waiting).
    virtual QByteArray read(qint64 maxBytes) = 0;

    QString reason() const { return m_reason; }
    bool permissionDenied() const { return m_permissionDenied; }

Q_SIGNALS:
    void readyRead();
    // Gone while open (unplugged, connection dropped); the transport is closed.
    void lost(const QString& reason);

protected:
    QString m_reason;
    bool m_permissionDenied = false;
};
