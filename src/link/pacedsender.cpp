#include "pacedsender.h"

#include "core/eventwait.h"
#include "core/ticktimer.h"
#include "link/answerchannel.h"
#include "link/framing.h"
#include "link/seriallink.h"

#include <QElapsedTimer>
#include <algorithm>

PacedSender::PacedSender(SerialLink& link, AnswerChannel& answers, TickTimer& ticks)
    : m_link(link)
    , m_answers(answers)
    , m_ticks(ticks)
{
}

QString PacedSender::line(const QString& command, End end) const
{
    const QString address = node ? node().trimmed() : QString();
    return address + command + (end == End::CrLf ? QStringLiteral("\r\n") : QStringLiteral("\r"));
}

void PacedSender::writeAndDrain(const QString& text)
{
    const QByteArray bytes = toWire(text);
    totals.bytes += bytes.size();
    m_link.write(bytes);
    m_link.waitForDrain();
}

void PacedSender::send(const QString& command, int multiple, End end)
{
    sendTicks(command, multiple * (downloadDelay ? downloadDelay() : 0), end);
}

void PacedSender::sendTicks(const QString& command, int ticks, End end)
{
    const QString text = line(command, end);
    m_answers.setAnswerMarker(text);
    const QByteArray bytes = toWire(text);
    totals.bytes += bytes.size();
    m_link.write(bytes);
    if (pauseAfterLine(ticks))
        return;
    m_link.waitForDrain();
    waitTicks(ticks);
}

bool PacedSender::pauseAfterLine(int ticks)
{
    // Where the tick timer wakes on demand, the line's drain and the pause after it
    // share one wake-up: at the ticks-th tick after the line's time is over (and the
    // answer's time after that), counted on the same clock as the two waits would.
    // A line still in the driver then (a UART slower than its line time) is waited
    // out as ever and gets its whole pause after it.
    if (ticks <= 0 || !m_ticks.wakesOnDemand() || !m_link.isOpen() || m_link.bytesToWrite() > 0)
        return false;
    const qint64 drainNs = m_link.lineBusyNs();
    const qint64 answerNs = m_answers.collecting() ? m_link.lineTimeNs(AnswerBytes) : 0;
    QElapsedTimer clock;
    clock.start();
    const TickTimer::Demand demand(m_ticks, ticks, drainNs + answerNs, drainNs);
    if (!demand.once())
        return false;
    totals.ticks += ticks;
    totals.waits += 1;
    waitUntil([&] {
        return !m_link.isOpen() || !m_ticks.isRunning()
            || (m_ticks.count() >= demand.target() && clock.nsecsElapsed() >= drainNs + answerNs);
    });
    if (!m_link.isOpen() || (m_link.bytesToWrite() == 0 && m_link.lineBusyNs() <= 0))
        return true;
    totals.ticks -= ticks;
    totals.waits -= 1;
    return false;
}

void PacedSender::bareReturn(int multiple)
{
    writeAndDrain(QStringLiteral("\r"));
    waitTicks(multiple * (downloadDelay ? downloadDelay() : 0));
}

void PacedSender::sendOwnLine(const QString& line)
{
    const QString text = line + u'\r';
    m_answers.setAnswerMarker(text);
    writeAndDrain(text);
}

void PacedSender::sendByCharacter(const QString& command, int multiple)
{
    const QString text = line(command);
    m_answers.setAnswerMarker(text);
    for (QChar c : text) {
        if (!m_link.isOpen())
            return;
        writeAndDrain(QString(c));
    }
    waitTicks(multiple * (downloadDelay ? downloadDelay() : 0));
}

void PacedSender::waitTicks(int ticks)
{
    if (!m_link.isOpen())
        return;
    totals.ticks += ticks;
    totals.waits += ticks > 0 ? 1 : 0;
    // The command has just left the wire (the drain ended); its answer needs its own
    // line time after that, which on a slow line is longer than a short tick wait.
    const qint64 answerNs = m_answers.collecting() ? m_link.lineTimeNs(AnswerBytes) : 0;
    QElapsedTimer clock;
    clock.start();
    // Counted from this wait's own start: a line sent from inside the wait (Cancel)
    // waits its own ticks and leaves this count alone.
    // Nothing is looked at before the last tick and the answer's time: one wake-up
    // where the timer wakes on demand.
    const TickTimer::Demand demand(m_ticks, ticks, answerNs);
    const qint64 start = m_ticks.count();
    waitUntil([&] {
        return !m_link.isOpen() || !m_ticks.isRunning()
            || (m_ticks.since(start) >= ticks && clock.nsecsElapsed() >= answerNs);
    });
}

void PacedSender::awaitAnswers(const std::function<bool(const QString& collected)>& complete)
{
    const auto arrived = [&] { return complete(m_answers.collectedAnswers()); };
    if (!m_answers.collecting() || arrived())
        return;
    const qint64 graceNs = m_link.lineTimeNs(2 * AnswerBytes) + 50'000'000;
    QElapsedTimer clock;
    clock.start();
    // The grace must also pass in ticks (a tick is Delay ms): when the program was
    // stalled (a loaded machine), the clock runs on but a stall costs one tick only,
    // so the answer that waited in the port meanwhile is still read before giving up.
    const qint64 graceTicks = graceNs / (qint64(std::max(1, m_ticks.periodMs())) * 1'000'000) + 1;
    const TickTimer::Demand demand(m_ticks);
    const qint64 start = m_ticks.count();
    // The tick timer wakes the loop every tick, so the grace is noticed on time.
    waitUntil([&] {
        return !m_link.isOpen() || !m_ticks.isRunning() || arrived()
            || (clock.nsecsElapsed() >= graceNs && m_ticks.count() - start >= graceTicks);
    });
}
