#pragma once

#include "linktransport.h"

#include <QSerialPort>

// A serial device of this machine, on QSerialPort.
class LocalTransport : public LinkTransport
{
    Q_OBJECT
public:
    // readBuffer: the most kept of what arrived and was not read, in bytes.
    LocalTransport(qint64 readBuffer, QObject* parent = nullptr);
    ~LocalTransport() override;

    bool open(const QString& name, qint32 baud) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    void write(const QByteArray& bytes) override;
    qint64 bytesToWrite() const override { return m_port.bytesToWrite(); }
    qint64 lineQueued() const override;
    void dropOutput() override { m_port.clear(QSerialPort::Output); }
    qint64 bytesAvailable() const override { return m_port.bytesAvailable(); }
    QByteArray read(qint64 maxBytes) override;

private:
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    bool m_writing = false; // inside write(): an error there is the write's own
};
