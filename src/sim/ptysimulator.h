#pragma once

#include "sim/simoptions.h"
#include "sim/simulatedcontroller.h"
#include "sim/simulatedline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;

// The simulated controller on a pseudo-terminal: the program (or a test) opens
// slavePath() as its serial port and talks to the controller as over a wire. Runs on
// the thread's event loop; start() opens the terminal, stop() (or the destructor)
// writes the memory image back and closes it.
class PtySimulator : public QObject
{
    Q_OBJECT
public:
    explicit PtySimulator(const SimOptions& options, QObject* parent = nullptr);
    ~PtySimulator() override;

    // Opens the terminal, loads the memory images (--eeprom), opens the log and makes
    // the link. On failure returns false, leaves nothing open, and errorString() says why.
    bool start();
    // Writes the memory images back (atomically), removes the link and closes the
    // terminal. Returns false when an image could not be written (errorString()).
    bool stop();

    bool isRunning() const { return m_running; }
    bool hasHungUp() const { return m_hungUp; }
    // The device the host opens, e.g. "/dev/pts/3"; empty until started.
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    const SimOptions& options() const { return m_options; }

    // The controllers on the line (--nodes), and the first of them.
    SimulatedLine& line() { return m_line; }
    const SimulatedLine& line() const { return m_line; }
    SimulatedController& controller() { return m_line.controller(0); }
    const SimulatedController& controller() const { return m_line.controller(0); }
    // Bytes taken from the line so far (also those lost to a speed mismatch).
    qint64 bytesReceived() const { return m_bytesReceived; }
    qint64 bytesSent() const { return m_bytesSent; }

Q_SIGNALS:
    // The hang-up fault closed the line.
    void hungUp();
    // A line was received (as it arrived, without the CR that ended it).
    void lineReceived(const QByteArray& line);

private:
    // Loads the controller's memory from file, if it exists; false (errorString()) when
    // it cannot be read or has not the memory's size.
    bool loadMemory(SimulatedController& controller, const QString& file);
    void onReadable();
    void onWritable();
    void onTimer();
    void service();
    void readInput();
    void feed(QByteArrayView bytes);
    void writeOutput();
    void schedule();
    void hangUp();
    void closeTerminal();
    void logLine(const QByteArray& line);
    qint64 nowMs() const { return m_clock.elapsed(); }
    qint64 charNs() const;
    int hostBaud() const;

    SimOptions m_options;
    SimulatedLine m_line;
    bool m_running = false;
    bool m_hungUp = false;
    QString m_error;
    QString m_slavePath;
    bool m_linkMade = false;

    int m_master = -1;
    int m_slave = -1;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;

    QByteArray m_outBuffer; // due bytes not yet taken by the terminal
    // --pace: when the next character has crossed the line (10 bits after the one
    // before it, or after the moment it was written when the line was idle).
    qint64 m_rxNextNs = 0;
    qint64 m_txNextNs = 0;
    bool m_rxIdle = true;
    bool m_txIdle = true;
    qint64 m_hangUpNs = -1; // when the hang-up fault struck
    qint64 m_lastWriteNs = -1; // -1: nothing written yet
    qint64 m_bytesReceived = 0;
    qint64 m_bytesSent = 0;

    std::unique_ptr<QFile> m_log;
};
