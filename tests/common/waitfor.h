#pragma once

// Waits in the event loop until done() holds; false when 10 s passed first (a safety
// net for a failing test, not a measure of speed).

#include "core/eventwait.h"

#include <QTimer>
#include <functional>

inline bool waitFor(const std::function<bool()>& done)
{
    QTimer guard;
    guard.setSingleShot(true);
    guard.start(10000);
    waitUntil([&] { return !guard.isActive() || done(); });
    return done();
}
