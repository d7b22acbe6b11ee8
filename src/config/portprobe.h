#pragma once

#include <QObject>
#include <QString>

class Prompter;
class TerminalCore;

// The configuration window's port checks: one status query that tells whether a
// controller answers (Auto Configure), and the diagnostic log. It talks through the
// main window's port (TerminalCore) in capture mode and paces its exchanges by the
// tick timer.
class PortProbe : public QObject
{
    Q_OBJECT
public:
    PortProbe(TerminalCore& core, Prompter& prompter, QObject* parent = nullptr);

    TerminalCore& core;
    Prompter& prompter;

    // Set by probeOnce when the controller answered its status query; cleared
    // before each probe by the configuration window's Auto Configure.
    bool probeSuccess() const { return m_probeSuccess; }
    void setProbeSuccess(bool success) { m_probeSuccess = success; }

    // Ticks each query of the probe and of the diagnostic log waits for its answer.
    static constexpr int AnswerTicks = 7;
    static constexpr int DebugRecordBytes = 1000;
    static inline const QString DebugFileName = QStringLiteral("TYXLOG.CMD");
    static const QString ProbeSuccessText;
    static const QString DebugSuccessText;
    static const QString DebugPortClosedText;
    // %1: the port's state, with why it went away.
    static const QString DebugPortLostText;

    // One probe of the port: a status query; sets probeSuccess when an answer holding
    // "00" came back (and says so). Expects capture mode to be on.
    void probeOnce();

    // Asks the controller the diagnostic queries and writes the questions and raw
    // answers as one 1000-byte record into "TYXLOG.CMD" in the current working
    // directory. Returns whether the file was written; every failure is reported.
    bool writeDiagnosticLog();

    // The diagnostic log of the last writeDiagnosticLog, before it was cut or padded.
    const QString& debugLogText() const { return m_debugLogText; }
    // The record as written: the log text cut or padded with blanks to 1000 bytes.
    static QByteArray debugRecord(const QString& logText);

private:
    // Writes text to the port and waits until it has left (or the port closed).
    void sendAndDrain(const QString& text);
    // Sets the tick count to 0 and lets events run until it reaches AnswerTicks, the
    // line has had time to carry the exchange, or the port closed.
    void waitForAnswer(qint64 bytesSent);

    bool m_probeSuccess = false;
    QString m_debugLogText;
};
