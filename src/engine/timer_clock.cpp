#include "engine/timer_clock.h"

#include <poll.h>

#include <cerrno>

#include "platform/tick.h"

namespace plover {

namespace {

class CSystemTimerClock final : public ITimerClock {
public:
    uint32_t Now() override { return GetTickCount(); }
    void WaitStep(uint32_t ms, Handle stop) override {
        uint32_t start = GetTickCount();
        for (;;) {
            uint32_t spent = GetTickCount() - start;
            if (spent >= ms) return;
            pollfd p{stop, POLLIN, 0};
            int r = poll(&p, 1, int(ms - spent));
            if (r > 0 || (r < 0 && errno != EINTR)) return;
        }
    }
};

}  // namespace

ITimerClock& SystemTimerClock() {
    static CSystemTimerClock clock;
    return clock;
}

}  // namespace plover
