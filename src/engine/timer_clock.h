#pragma once
// Where an engine's timer threads read the time and wait out their steps. A timer thread reads
// Now(), waits one step with WaitStep() and posts a tick when strictly more than its interval has
// passed since the last tick. The real clock is the system tick count and a 100 ms wait; tests
// inject a stepped clock so that a timer's cadence can be checked exactly, without real time.
#include <cstdint>

#include "platform/event.h"

namespace plover {

// The length of one timer step.
constexpr uint32_t kTimerStepMs = 100;

// True when a timer whose last tick was at `last` is due at `now`: strictly more than the interval
// has passed. The tick count wraps; the interval is the unsigned difference.
constexpr bool IsTimerDue(uint32_t last, uint32_t now, uint32_t interval) { return uint32_t(now - last) > interval; }

class ITimerClock {
public:
    virtual uint32_t Now() = 0;
    // Waits one step of `ms`, or less when `stop` (a manual-reset event handle) becomes signalled.
    virtual void WaitStep(uint32_t ms, Handle stop) = 0;

protected:
    ~ITimerClock() = default;
};

// The system tick count and a real wait: what every engine uses unless a test says otherwise.
ITimerClock& SystemTimerClock();

}  // namespace plover
