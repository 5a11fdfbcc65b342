#include "engine/timer_thread.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "platform/event.h"

namespace plover {
namespace {

struct SClockThread {
    ITimerClock* clock = nullptr;
    std::vector<TIMER_INFO*> timers;  // guarded by Lock()
    bool ending = false;              // guarded by Lock()
    CEvent wake;                      // cuts the current step short when the thread is to end
    std::thread thread;
};

std::mutex& Lock() {
    static std::mutex lock;
    return lock;
}

// The threads serving timers now, one per clock; guarded by Lock().
std::vector<SClockThread*>& Threads() {
    static auto& threads = *new std::vector<SClockThread*>;
    return threads;
}

uintptr_t TimerIdentity(const TIMER_INFO* timer) { return uintptr_t(static_cast<const void*>(timer)); }

void Serve(SClockThread* served) {
    for (;;) {
        served->clock->WaitStep(kTimerStepMs, served->wake.GetHandle());
        std::lock_guard guard(Lock());
        if (served->ending) return;
        uint32_t now = served->clock->Now();
        for (TIMER_INFO* timer : served->timers) {
            if (IsTimerDue(timer->last, now, timer->interval)) {
                timer->engine->Post(EOP_TIMER, TimerIdentity(timer), 0, false, true);
                timer->last = now;
            }
        }
    }
}

}  // namespace

bool AddTimerToThread(TIMER_INFO* timer, ITimerClock* clock) {
    std::lock_guard guard(Lock());
    auto& threads = Threads();
    auto it = std::find_if(threads.begin(), threads.end(), [clock](SClockThread* t) { return t->clock == clock; });
    SClockThread* served = it == threads.end() ? nullptr : *it;
    if (!served) {
        auto made = std::make_unique<SClockThread>();
        made->clock = clock;
        try {
            made->thread = std::thread(Serve, made.get());
        } catch (const std::system_error& e) {
            std::fprintf(stderr, "plover engine: a timer thread could not be started (%d)\n", e.code().value());
            return false;
        }
        served = made.release();
        threads.push_back(served);
    }
    timer->last = clock->Now();
    timer->clock = clock;
    served->timers.push_back(timer);
    return true;
}

void RemoveTimerFromThread(TIMER_INFO* timer) {
    SClockThread* ended = nullptr;
    {
        std::lock_guard guard(Lock());
        auto& threads = Threads();
        auto it = std::find_if(threads.begin(), threads.end(), [timer](SClockThread* t) { return t->clock == timer->clock; });
        timer->clock = nullptr;
        if (it == threads.end()) return;
        SClockThread* served = *it;
        std::erase(served->timers, timer);
        if (!served->timers.empty()) return;
        served->ending = true;
        threads.erase(it);
        ended = served;
    }
    ended->wake.Set();
    ended->thread.join();
    delete ended;
}

}  // namespace plover
