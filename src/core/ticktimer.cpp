#include "ticktimer.h"

#include <QSocketNotifier>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

TickTimer& TickTimer::instance()
{
    static TickTimer* timer = new TickTimer; // lives until the process ends
    return *timer;
}

TickTimer::TickTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TickTimer::onTick);
}

TickTimer::~TickTimer()
{
    m_notifier.reset();
    m_onceNotifier.reset();
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_onceFd >= 0)
        ::close(m_onceFd);
#endif
}

void TickTimer::start()
{
    const int ms = m_periodMs < 1 ? 1 : m_periodMs;
#ifdef Q_OS_LINUX
    // Qt's event loop sleeps in whole milliseconds, so a 1 ms QTimer fires 0.2 to
    // 0.4 ms late each time and a 2-tick wait lasts up to 2.4 ms. A timer file runs
    // free on the kernel's clock and wakes the loop on the microsecond. Made on first
    // use, when the event loop exists.
    if (!m_notifier) {
        m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd >= 0) {
            m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
            connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
                // Periods missed while the program was held up count as one tick, as
                // with a late QTimer: a stall never ends a wait at once.
                quint64 expirations = 0;
                if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
                    onTick();
            });
        }
    }
    countUnseen();
    if (m_notifier) {
        itimerspec period {};
        period.it_interval.tv_sec = ms / 1000;
        period.it_interval.tv_nsec = long(ms % 1000) * 1000000;
        period.it_value = period.it_interval;
        if (::timerfd_settime(m_fd, 0, &period, nullptr) == 0) {
            m_fdArmed = true;
            updateWakes();
            return;
        }
    }
#endif
    m_timer.start(ms);
}

void TickTimer::stop()
{
    countUnseen();
#ifdef Q_OS_LINUX
    if (m_fdArmed) {
        const itimerspec off {};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        m_notifier->setEnabled(false);
        m_fdArmed = false;
    }
#endif
    m_timer.stop();
}

bool TickTimer::isRunning() const
{
    return m_fdArmed || m_timer.isActive();
}

void TickTimer::setWakesOnDemand(bool onDemand)
{
    countUnseen();
    m_onDemand = onDemand;
    updateWakes();
}

void TickTimer::updateWakes()
{
#ifdef Q_OS_LINUX
    if (m_fdArmed)
        m_notifier->setEnabled(!m_onDemand || m_everyTickDemands > 0);
#endif
}

void TickTimer::countUnseen()
{
#ifdef Q_OS_LINUX
    // Unseen ticks are no stall: a timer woken on each of them would have counted each.
    if (!m_fdArmed || m_notifier->isEnabled())
        return;
    quint64 expirations = 0;
    if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations)
        advance(qint64(expirations));
#endif
}

bool TickTimer::wakeOnceAt(int ticks, qint64 notBeforeNs, qint64 fromNs)
{
#ifdef Q_OS_LINUX
    itimerspec next {};
    if (!m_fdArmed || ::timerfd_gettime(m_fd, &next) != 0)
        return false;
    // The free-running timer's next tick, then a period for each further one: the
    // wait wakes on its own tick of the same clock it would have counted. Ticks
    // before fromNs are not the wait's own.
    const qint64 nextNs = qint64(next.it_value.tv_sec) * 1'000'000'000 + next.it_value.tv_nsec;
    const qint64 before = fromNs >= nextNs ? (fromNs - nextNs) / periodNs() + 1 : 0;
    m_onceTarget = m_count + before + std::max(ticks, 0);
    if (ticks <= 0 && notBeforeNs <= 0)
        return true; // done at once: nothing to wake for
    if (m_onceFd < 0) {
        m_onceFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_onceFd < 0)
            return false;
        m_onceNotifier = std::make_unique<QSocketNotifier>(m_onceFd, QSocketNotifier::Read);
        connect(m_onceNotifier.get(), &QSocketNotifier::activated, this, [this] {
            quint64 expirations = 0;
            [[maybe_unused]] const ssize_t n = ::read(m_onceFd, &expirations, sizeof expirations);
            m_onceArmed = false;
            countUnseen(); // the wait looks at the count next
            // Woken before the periodic timer counted its tick (the two files expire
            // apart by microseconds only): wake again on the next, or the wait, with
            // nothing else to wake it, would never see its count.
            itimerspec again {};
            if (m_count < m_onceTarget && ::timerfd_gettime(m_fd, &again) == 0)
                armOnce(qint64(again.it_value.tv_sec) * 1'000'000'000 + again.it_value.tv_nsec
                    + (m_onceTarget - m_count - 1) * periodNs());
        });
    }
    qint64 atNs = 1; // 0 would disarm the timer file
    if (ticks > 0)
        atNs = nextNs + (before + ticks - 1) * periodNs();
    return armOnce(std::max(atNs, notBeforeNs));
#else
    Q_UNUSED(ticks);
    Q_UNUSED(notBeforeNs);
    Q_UNUSED(fromNs);
    return false;
#endif
}

qint64 TickTimer::periodNs() const
{
    return qint64(m_periodMs < 1 ? 1 : m_periodMs) * 1'000'000;
}

bool TickTimer::armOnce(qint64 inNs)
{
#ifdef Q_OS_LINUX
    inNs = std::max<qint64>(inNs, 1); // 0 would disarm the timer file
    itimerspec once {};
    once.it_value.tv_sec = time_t(inNs / 1'000'000'000);
    once.it_value.tv_nsec = long(inNs % 1'000'000'000);
    m_onceArmed = ::timerfd_settime(m_onceFd, 0, &once, nullptr) == 0;
    return m_onceArmed;
#else
    Q_UNUSED(inNs);
    return false;
#endif
}

void TickTimer::cancelWakeOnce()
{
#ifdef Q_OS_LINUX
    const itimerspec off {};
    if (m_onceArmed && ::timerfd_settime(m_onceFd, 0, &off, nullptr) == 0)
        m_onceArmed = false;
#endif
}

TickTimer::Demand::Demand(TickTimer& timer, int ticks, qint64 notBeforeNs, qint64 fromNs)
    : m_timer(timer)
{
    m_timer.countUnseen();
    // Only an outermost wait is woken once: one timer file serves one wait at a time.
    m_once = ticks >= 0 && m_timer.m_onDemand && m_timer.m_demands == 0
        && m_timer.wakeOnceAt(ticks, notBeforeNs, fromNs);
    m_target = m_once ? m_timer.m_onceTarget : m_timer.m_count + std::max(ticks, 0);
    ++m_timer.m_demands;
    if (!m_once)
        ++m_timer.m_everyTickDemands;
    m_timer.updateWakes();
}

TickTimer::Demand::~Demand()
{
    --m_timer.m_demands;
    if (m_once)
        m_timer.cancelWakeOnce();
    else
        --m_timer.m_everyTickDemands;
    m_timer.updateWakes();
}

void TickTimer::setTicks(int value)
{
    m_ticks = value;
    m_restart = m_count;
}

void TickTimer::advance(qint64 ticks)
{
    m_count += ticks;
    m_ticks = int((m_ticks + ticks) % 30001);
}

void TickTimer::onTick()
{
    advance(1);
    Q_EMIT ticked();
}
