#include "ticktimer.h"

TickTimer& TickTimer::instance()
{
    static TickTimer* timer = new TickTimer; // lives until the process ends
    return *timer;
}

TickTimer::TickTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TickTimer::TimerProc);
}

void TickTimer::StartTimer()
{
    m_timer.start(Delay < 1 ? 1 : Delay);
}

void TickTimer::StopTimer()
{
    m_timer.stop();
}

void TickTimer::TimerProc()
{
    ++m_ticks;
    if (m_ticks > 30000)
        m_ticks = 0;
    Q_EMIT ticked();
}
