#pragma once

#include <QObject>
#include <QTimer>

// The process-wide tick timer: a periodic precise timer whose callback counts
// 0, 1, ..., 30000, 0, ... Waits of the download window, the diagnostic log and
// auto-configuration set the count to 0 and let events run until it reaches a
// stated count.
class TickTimer : public QObject
{
    Q_OBJECT
public:
    static TickTimer& instance();

    // Interval in milliseconds; 0 asks for the shortest the platform offers, which
    // here is 1 ms (a 0 ms QTimer would fire on every idle pass and spin a core).
    int Delay = 1;

    void StartTimer();
    void StopTimer();
    void TimerProc();
    bool isRunning() const { return m_timer.isActive(); }

    int ticks() const { return m_ticks; }
    void setTicks(int value) { m_ticks = value; }

Q_SIGNALS:
    void ticked();

private:
    explicit TickTimer(QObject* parent = nullptr);
    QTimer m_timer;
    int m_ticks = 0;
};
