#pragma once
// The thread that serves timers: one per clock, shared by every timer of every engine started with
// that clock (the system clock, unless a test injects its own). It waits one step at a time and,
// after each step, posts a tick (priority queue, no wait) for every timer at which strictly more
// than its interval has passed since its last tick.
//
// One thread instead of one per timer: a thread costs its start, its stack and its end, and a
// run of the program keeps several engines' timers for its whole life. The thread starts with
// the first timer of its clock and ends, joined, when the last one is removed, so a clock a test
// made outlives the thread that reads it.
#include "engine/timer_clock.h"

namespace plover {

struct TIMER_INFO;

// Serves the timer from now on; its first tick is due once more than its interval has passed.
// False when no thread could be started for the clock (the timer then never ticks).
bool AddTimerToThread(TIMER_INFO* timer, ITimerClock* clock);

// Stops serving the timer: once this returns, no tick for it is posted any more. The last timer
// of a clock ends (joins) its thread. Never call it from a timer thread (it posts only).
void RemoveTimerFromThread(TIMER_INFO* timer);

}  // namespace plover
