#pragma once

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <memory>

class QSocketNotifier;

// The process-wide tick timer: a free-running periodic timer whose callback counts
// 0, 1, ..., 30000, 0, ... Waits of the download window, the diagnostic log and
// auto-configuration take the count when they begin (count()) and let events run
// until since() reaches the ticks they state, so a wait of k ticks lasts k-1 to k
// tick periods, and a wait nested in another one does not lengthen it.
class TickTimer : public QObject
{
    Q_OBJECT
public:
    static TickTimer& instance();
    ~TickTimer() override;

    // The tick period in milliseconds, taken when the timer starts; 0 asks for the
    // shortest the platform offers, which here is 1 ms (a 0 ms timer would fire on
    // every idle pass and spin a core).
    int periodMs() const { return m_periodMs; }
    void setPeriodMs(int ms) { m_periodMs = ms; }

    void start();
    void stop();
    void onTick();
    bool isRunning() const;

    int ticks() const { return m_ticks; }
    // Sets the wrapping count and restarts the count of every wait in progress (a
    // test holds the waits with it while its far end catches up).
    void setTicks(int value);

    // Ticks counted since the timer was made; never wraps. A wait keeps the value it
    // began at and hands it to since().
    qint64 count() const { return m_count; }
    // Ticks counted since `start` (a count()), or since the last setTicks if later.
    qint64 since(qint64 start) const { return m_count - std::max(start, m_restart); }

    // With wakes on demand (Linux only), the timer runs on unseen between waits and
    // wakes the event loop on its ticks only while a wait holds a Demand; the ticks made
    // unseen are counted (not signalled) when the next Demand begins, so a wait counts
    // from its own start as ever. Off by default: the windows and the tests follow
    // every tick. zaziruv-cli turns it on, where nothing follows the ticks between waits
    // and each tick that woke nobody cost the process a wake-up (a thousand a second at
    // a 1 ms Delay).
    void setWakesOnDemand(bool onDemand);

    // Held by a wait on the tick count for its length; nested ones are counted. A wait
    // that looks at nothing before the `ticks`-th tick from now and `notBeforeNs` from
    // now says so: with wakes on demand, and no other wait running, it is woken once,
    // at that tick (or that time, if later), and the ticks between are counted then.
    // A wait of -1 ticks is woken on every tick. A wait whose ticks count only from
    // `fromNs` on (the pause after a line that is still on the wire) counts the ticks
    // before that too: it is done when count() reaches target().
    class Demand
    {
    public:
        explicit Demand(
            TickTimer& timer, int ticks = -1, qint64 notBeforeNs = 0, qint64 fromNs = 0);
        ~Demand();
        Demand(const Demand&) = delete;
        Demand& operator=(const Demand&) = delete;

        bool once() const { return m_once; }
        qint64 target() const { return m_target; }

    private:
        TickTimer& m_timer;
        bool m_once = false; // woken once rather than on every tick
        qint64 m_target = 0;
    };
    bool wakesOnDemand() const { return m_onDemand; }

Q_SIGNALS:
    void ticked();

private:
    void countUnseen();
    void updateWakes();
    void advance(qint64 ticks);
    bool wakeOnceAt(int ticks, qint64 notBeforeNs, qint64 fromNs);
    bool armOnce(qint64 inNs);
    qint64 periodNs() const;
    void cancelWakeOnce();

    int m_periodMs = 1;
    explicit TickTimer(QObject* parent = nullptr);
    QTimer m_timer; // where no timer file is to be had
    int m_fd = -1; // Linux: a periodic timer file
    bool m_fdArmed = false;
    bool m_onDemand = false;
    int m_demands = 0;
    int m_everyTickDemands = 0;
    int m_onceFd = -1; // Linux: a one-shot timer file for a Demand woken once
    std::unique_ptr<QSocketNotifier> m_onceNotifier;
    bool m_onceArmed = false;
    qint64 m_onceTarget = 0; // the count the one-shot wake is for
    std::unique_ptr<QSocketNotifier> m_notifier;
    int m_ticks = 0;
    qint64 m_count = 0;
    qint64 m_restart = 0;
};
