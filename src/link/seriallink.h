#pragma once

#include "linktransport.h"
#include "trafficrecorder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

// The one serial port of the program, over a LinkTransport: a local device, or a
// serial device server on the network. It keeps why a port did not open, treats a
// vanished device or a dropped connection as a disconnect (closing the port once),
// and can trace every byte written or read.
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
    // device is a node (/dev/ttyUSB0), a stable name looked up at each open
    // (/dev/serial/by-id/..., usb:VID:PID:SERIAL), a raw TCP server (socket://HOST:PORT)
    // or an RFC 2217 server (rfc2217://HOST:PORT). An open port is closed first.
    // Returns whether the port is open afterwards.
    bool open(const QString& device, qint32 baud);
    void close();
    bool isOpen() const;

    QString device() const { return m_device; }
    qint32 baud() const { return m_baud; }
    // Why the last open failed or the port went away; empty while open.
    QString failureReason() const { return m_reason; }
    // True when the port went away while open (a cut line), until it opens again.
    bool wasLost() const { return m_wasLost; }
    // True when the last failure was a permission problem (the dialout hint).
    bool permissionDenied() const { return m_permissionDenied; }
    // "/dev/ttyS1  9600,n,8,1  open" or the reason, for the status line.
    QString statusText() const;

    // Queues bytes; they leave when the event loop runs.
    void write(const QByteArray& bytes);
    // Bytes not yet handed to the device (the unsent output count).
    qint64 bytesToWrite() const;
    // Waits, letting events run, until the line has carried everything written, or
    // the port is closed: the bytes are handed to the device, their line time (10 bits
    // a character at the port's speed, counted from when the line was last free) has
    // passed, and the driver's output queue is empty (a pseudo-terminal reports 0
    // there, so its line time alone paces it). Timers wake the wait; it never polls.
    // A port that still holds bytes StallGraceNs after their line time has stopped
    // sending (flow control held, a stalled adapter): it is closed as a lost port,
    // with StalledText as the reason.
    void waitForDrain();
    // Bytes written but not yet on the wire: those Qt holds and the driver's queue.
    qint64 outputQueued() const;

    static constexpr qint64 StallGraceNs = 2'000'000'000;
    // %1 the device, %2 the bytes that stayed queued.
    static inline const QString StalledText
        = QStringLiteral("The serial port does not send (%1: %2 bytes stayed queued)");
    // Nanoseconds until the line has carried everything written (0: it has).
    qint64 lineBusyNs() const;
    // Nanoseconds the line needs for `bytes` characters at the port's speed.
    qint64 lineTimeNs(qint64 bytes) const;

    qint64 bytesAvailable() const;
    // Reads up to maxBytes (0: everything waiting).
    QByteArray read(qint64 maxBytes = 0);
    // Discards everything waiting.
    void discardInput();

    void setTracer(Tracer tracer) { m_tracer = std::move(tracer); }
    // Every byte written and read, in timed rows, with the port's opening, closing
    // and loss as markers; operations add theirs through marker().
    TrafficRecorder& traffic() { return m_traffic; }

    // The most the port keeps of what arrived and was not read yet, in bytes (over
    // 10 s of the fastest line). Beyond it the port stops taking from the device, so
    // a peer that floods the line cannot grow memory.
    static constexpr qint64 MaxReadBuffer = 64 * 1024;

    // "busy (in use by minicom, PID 1234)": the lock file's process or one that has
    // node open; "busy (in use by another program)" when the system does not tell.
    static QString busyText(const QString& node);

    // Device used for port number n (1..8) when nothing else is configured.
    static QString defaultDevice(int comPort);

Q_SIGNALS:
    // Characters are waiting (the receive event).
    void received();
    // Opened, closed or lost; statusText() tells the new state.
    void stateChanged();
    // The device went away or stopped sending while open; the port has been closed
    // and reason (also failureReason()) says which.
    void lost(const QString& reason);

private:
    void onTransportLost(const QString& reason);
    // Closes the port as gone with `reason` (stateChanged and lost follow).
    void markLost(const QString& reason);
    void trace(Direction d, const QByteArray& bytes);
    void closedMarker();
    // Makes the event loop wake in ns nanoseconds.
    void wakeAfter(qint64 ns);

    std::unique_ptr<LinkTransport> m_transport; // made by open() for the kind of name
    QString m_device;
    qint32 m_baud = 9600;
    QString m_reason = QStringLiteral("not opened");
    bool m_permissionDenied = false;
    bool m_wasLost = false;
    Tracer m_tracer;
    TrafficRecorder m_traffic;
    QElapsedTimer m_clock;
    qint64 m_lineFreeNs = 0; // on m_clock: when the last byte written leaves the wire
    int m_wakeFd = -1; // Linux: a timer file for sub-millisecond wake-ups
    std::unique_ptr<QSocketNotifier> m_wakeNotifier;
    QTimer m_wake; // elsewhere: a millisecond timer
};
