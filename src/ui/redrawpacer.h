#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

// Decides when a view shows what changed. A change after a quiet spell is drawn on the
// event loop's next pass, and no view is drawn more than once a frame (16 ms), so an
// echo or an answer reads as immediate. While changes keep coming (answers at the
// line's full rate: the last two draws were a frame or so apart) it is drawn every
// StreamMs: each redraw of a text box costs more than the few lines it adds, and
// 90 ms still keeps the view within 100 ms of the last character.
class RedrawPacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int FrameMs = 16;
    static constexpr int StreamMs = 90;

    RedrawPacer(std::function<void()> draw, QObject* parent);

    // Something changed: draw it in time.
    void request();
    // Drawn now by other means: the pending draw is not needed, and the next change
    // counts from here.
    void drawn();
    bool pending() const { return m_timer.isActive(); }

    // The wait before the next draw, `sinceLastMs` after the last draw (-1: none yet),
    // which came `intervalMs` after the one before it (-1: none).
    static int delayMs(qint64 sinceLastMs, qint64 intervalMs);

private:
    std::function<void()> m_draw;
    QTimer m_timer;
    QElapsedTimer m_lastDraw;
    qint64 m_interval = -1; // ms between the last two draws
};
