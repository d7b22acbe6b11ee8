#pragma once

#include "sim/simoptions.h"
#include "sim/timedoutput.h"

#include <QByteArray>
#include <QByteArrayView>
#include <functional>
#include <map>
#include <utility>
#include <vector>

// The controller's command interpreter, without any device: bytes in, bytes out, on
// the caller's clock (milliseconds, any origin, never going back). Lines end at CR; an
// answer ends with CR LF. Whatever arrives, it keeps its line at 9999 characters, its
// output queue at kMaxPendingOutput bytes, and never touches memory outside its EEPROM.
class SimulatedController
{
public:
    static constexpr int kMaxLineLength = 9999;
    static constexpr qsizetype kMaxPendingOutput = TimedOutput::MaxBytes;
    // The unlock number of "EEU" that allows "EEADR"/"EEADDR".
    static constexpr int kUnlockCode = 4826;

    explicit SimulatedController(const SimOptions& options = {});

    // The speed the host set on the line (from the terminal settings); 0 when unknown,
    // which counts as matching. Bytes received at another speed than the option's are
    // lost, as on a wire.
    void setLineBaud(int baud) { m_lineBaud = baud; }
    int lineBaud() const { return m_lineBaud; }
    bool speedMatches() const { return m_lineBaud == 0 || m_lineBaud == m_options.baud; }

    // Bytes received at nowMs.
    void receive(QByteArrayView bytes, qint64 nowMs);
    // Bytes due by nowMs (echo and answers whose delay has passed), removed from the queue.
    QByteArray takeOutput(qint64 nowMs);
    // Every queued piece (an answer, an echo) with its due time, in the order made,
    // removed from the queue.
    std::vector<std::pair<qint64, QByteArray>> takeQueued();
    // When the next queued bytes fall due; -1 when nothing is queued.
    qint64 nextOutputMs() const;
    bool hasPendingOutput() const { return !m_output.empty(); }

    // Set once the hang-up fault struck: nothing more is read or answered.
    bool hungUp() const { return m_hungUp; }

    quint16 statusWord(qint64 nowMs);
    int runningMacro() const { return m_macro; }
    int memoryChecksum() const { return m_checksum; }
    qint64 address() const { return m_address; }
    bool unlocked() const { return m_unlocked; }
    // Non-empty lines received so far (every address, good checksum or not).
    qint64 linesReceived() const { return m_lines; }
    // Answers made so far, dropped ones included.
    qint64 answersMade() const { return m_answers; }

    const QByteArray& memory() const { return m_memory; }
    // Replaces the memory image; refused (false) unless it has the memory's size.
    bool setMemory(const QByteArray& image);

    // On a shared line only one controller answers node 0 lines; the others carry them
    // out in silence, so that no two answers collide. On by default.
    void setAnswersBroadcasts(bool answers) { m_answersBroadcasts = answers; }

    // Called with every received line as it arrived (LFs kept, the ending CR left
    // out), before it is interpreted.
    void setLineObserver(std::function<void(const QByteArray&)> observer)
    {
        m_observer = std::move(observer);
    }

private:
    void finishLine(qint64 nowMs);
    void interpret(const QByteArray& text, qint64 nowMs);
    void execute(
        const QByteArray& node, const QByteArray& name, const QByteArray& args, qint64 nowMs);
    void answer(const QByteArray& text, qint64 nowMs);
    void queue(qint64 dueMs, const QByteArray& bytes);
    void settleMove(qint64 nowMs);
    void writeByte(qint64 address, quint8 value);
    void answerByte(qint64 address, qint64 nowMs);
    void reset();

    SimOptions m_options;
    int m_lineBaud = 0;

    QByteArray m_line; // the line so far, as received (LFs kept)
    bool m_lineTooLong = false; // the line passed kMaxLineLength; it is dropped at its CR

    quint16 m_status = 0;
    bool m_moving = false;
    qint64 m_moveEndMs = 0;
    int m_macro = 0;

    QByteArray m_memory;
    qint64 m_address = 0;
    quint8 m_data = 0; // the loaded data byte
    int m_checksum = 0; // sum of the bytes written by "EEW", modulo 256
    qint64 m_eewCount = 0; // "EEW" commands so far, for --bad-write-every
    bool m_unlocked = false;

    qint64 m_lines = 0;
    qint64 m_answers = 0;
    bool m_hungUp = false;

    bool m_answersBroadcasts = true;
    bool m_silent = false; // the line being carried out is a broadcast this one leaves unanswered

    TimedOutput m_output;

    std::function<void(const QByteArray&)> m_observer;
};
