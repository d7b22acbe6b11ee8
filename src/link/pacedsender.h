#pragma once

#include <QString>
#include <functional>

class AnswerChannel;
class SerialLink;
class TickTimer;

// The one writer of the download window's command lines. A line is the node address,
// the command text and CR (or CR LF); it becomes the answer marker, goes to the port,
// and then the sender waits until the line has carried it and for a number of ticks
// of the tick timer. Every wait lets events run and ends when the port closes. It
// keeps no state between calls: Cancel sends from inside a wait of a running download.
class PacedSender
{
public:
    PacedSender(SerialLink& link, AnswerChannel& answers, TickTimer& ticks);

    // The node address that begins every line (the download settings' text, trimmed
    // by the sender) and the unit of the waits, DownloadDelay ticks.
    std::function<QString()> node;
    std::function<int()> downloadDelay;

    enum class End
    {
        Cr,
        CrLf
    };

    // node + command + line end, then multiple x DownloadDelay ticks.
    void send(const QString& command, int multiple, End end = End::Cr);
    // The same with a wait of `ticks` ticks (DownloadDelay + 1 where stated).
    void sendTicks(const QString& command, int ticks, End end = End::Cr);
    // A bare CR: no node address, not the answer marker; then multiple x DownloadDelay.
    void bareReturn(int multiple);
    // A line that carries its own node address (a broadcast to node 0), then CR; it
    // becomes the answer marker. No wait follows.
    void sendOwnLine(const QString& line);
    // node + command + CR written one character at a time, each carried by the line
    // before the next; then multiple x DownloadDelay ticks.
    void sendByCharacter(const QString& command, int multiple);

    // Lets `ticks` ticks pass, counted from the wait's own start, so it lasts ticks-1
    // to ticks tick periods (less when the port closes or the timer stops). While
    // answers are collected it also lasts one answer's line time, so a slow line
    // never loses the last answers.
    void waitTicks(int ticks);

    // Before collected answers are taken: lets events run until `complete` says the
    // collected answers are all in, or for at most two answers' line time and 50 ms
    // more, so that a last answer held up on a busy or slow line is not lost, while a
    // controller that answers nothing costs the grace once. Ends when the port closes
    // or the timer stops.
    void awaitAnswers(const std::function<bool(const QString& collected)>& complete);

    // The line as written for command (node address, text, line end).
    QString line(const QString& command, End end = End::Cr) const;

    // What has been sent and waited so far (the protocol's own time: bytes at 10 bits
    // each, ticks at Delay ms each), for measuring how close a run comes to it. A wait
    // of k ticks may end after k-1 periods, so the least a run can take counts one
    // tick fewer for each of the `waits` (waits of one tick or more).
    struct Totals
    {
        qint64 bytes = 0;
        qint64 ticks = 0;
        qint64 waits = 0;
    };
    Totals totals;

    // Bytes an answer takes on the line: "0001 002A" and CR LF, the longest one the
    // download window reads.
    static constexpr qint64 AnswerBytes = 12;

private:
    // The drain and the pause after a line in one wait; false: wait them out apart.
    bool pauseAfterLine(int ticks);
    // Writes text and waits until the line has carried it.
    void writeAndDrain(const QString& text);

    SerialLink& m_link;
    AnswerChannel& m_answers;
    TickTimer& m_ticks;
};
