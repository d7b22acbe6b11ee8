#include "redrawpacer.h"

RedrawPacer::RedrawPacer(std::function<void()> draw, QObject* parent)
    : QObject(parent)
    , m_draw(std::move(draw))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        drawn();
        m_draw();
    });
}

int RedrawPacer::delayMs(qint64 sinceLastMs, qint64 intervalMs)
{
    if (sinceLastMs < 0)
        return 0;
    // Timers fire late by a few ms: a stream's draws come StreamMs apart and more.
    const bool streaming = intervalMs >= 0 && intervalMs < StreamMs + FrameMs;
    if (streaming && sinceLastMs < StreamMs)
        return int(StreamMs - sinceLastMs);
    if (sinceLastMs < FrameMs)
        return int(FrameMs - sinceLastMs);
    return 0;
}

void RedrawPacer::request()
{
    if (m_timer.isActive())
        return;
    m_timer.start(delayMs(m_lastDraw.isValid() ? m_lastDraw.elapsed() : -1, m_interval));
}

void RedrawPacer::drawn()
{
    m_timer.stop();
    m_interval = m_lastDraw.isValid() ? m_lastDraw.elapsed() : -1;
    m_lastDraw.start();
}
