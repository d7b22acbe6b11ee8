#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <functional>

// The one serial port of the program, on QSerialPort. It keeps why a port did not
// open, treats a vanished device as a disconnect (closing the port once), and can
// trace every byte written or read.
class SerialLink : public QObject
{
    Q_OBJECT
public:
    enum class Direction
    {
        Write,
        Read
    };
    using Tracer = std::function<void(Direction, const QByteArray&)>;

    explicit SerialLink(QObject* parent = nullptr);
    ~SerialLink() override;

    // Opens device at baud, 8 data bits, no parity, 1 stop bit, no flow control.
    // An open port is closed first. Returns whether the port is open afterwards.
    bool open(const QString& device, qint32 baud);
    void close();
    bool isOpen() const;

    QString device() const { return m_device; }
    qint32 baud() const { return m_baud; }
    // Why the last open failed or the port went away; empty while open.
    QString failureReason() const { return m_reason; }
    // True when the last failure was a permission problem (the dialout hint).
    bool permissionDenied() const { return m_permissionDenied; }
    // "/dev/ttyS1  9600,n,8,1  open" or the reason, for the status line.
    QString statusText() const;

    // Queues bytes; they leave when the event loop runs.
    void write(const QByteArray& bytes);
    // Bytes not yet handed to the device (the unsent output count).
    qint64 bytesToWrite() const;
    // Waits, letting events run, until the output has left or the port is closed.
    void waitForDrain();

    qint64 bytesAvailable() const;
    // Reads up to maxBytes (0: everything waiting).
    QByteArray read(qint64 maxBytes = 0);
    // Discards everything waiting.
    void discardInput();

    void setTracer(Tracer tracer) { m_tracer = std::move(tracer); }

    // The most the port keeps of what arrived and was not read yet, in bytes (over
    // 10 s of the fastest line). Beyond it the port stops taking from the device, so
    // a peer that floods the line cannot grow memory.
    static constexpr qint64 MaxReadBuffer = 64 * 1024;

    // Device used for port number n (1..8) when nothing else is configured.
    static QString defaultDevice(int comPort);

Q_SIGNALS:
    // Characters are waiting (the receive event).
    void received();
    // Opened, closed or lost; statusText() tells the new state.
    void stateChanged();
    // The device went away while open; the port has been closed.
    void lost(const QString& reason);

private:
    void onError(QSerialPort::SerialPortError error);
    void trace(Direction d, const QByteArray& bytes);

    QSerialPort m_port;
    QString m_device;
    qint32 m_baud = 9600;
    QString m_reason = QStringLiteral("not opened");
    bool m_permissionDenied = false;
    Tracer m_tracer;
};
