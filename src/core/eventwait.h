#pragma once

#include <functional>

// Long operations run inside the handler that started them and wait here, letting
// other handlers (buttons, timers, received characters) run. The wait blocks in the
// event loop until an event arrives; it never spins. Callers include in `done` every
// condition that must end the wait (a closed port, a stop request), since a wait
// whose condition can no longer come true would otherwise last for ever.
void waitUntil(const std::function<bool()>& done);

// Lets the events that are already pending run once, without blocking.
void processPendingEvents();
