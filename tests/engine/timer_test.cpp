// Timers: the due rule, the cadence in 100 ms steps (on a stepped clock), the late tick of a
// stopped timer, one thread for the timers of every engine on one clock.
#include <gtest/gtest.h>

#include <filesystem>

#include "probe_engine.h"

namespace plover::test {
namespace {

TEST(TimerRule, DueOnlyWhenStrictlyMoreThanTheIntervalHasPassed) {
    struct Case {
        uint32_t last, now, interval;
        bool due;
    };
    for (Case c : {
             Case{0, 250, 250, false},
             Case{0, 300, 250, true},
             Case{1000, 1100, 99, true},
             Case{1000, 1100, 100, false},
             Case{0xFFFFFF00u, 0x00000010u, 0x100, true},   // across the wrap: 0x110 passed
             Case{0xFFFFFF00u, 0x00000000u, 0x100, false},  // exactly the interval
         })
        EXPECT_EQ(IsTimerDue(c.last, c.now, c.interval), c.due) << c.last << " " << c.now << " " << c.interval;
}

// A started probe engine with its own stepped clock, or a shared one; stopped and destroyed at
// the end of scope.
struct CTimedEngine {
    explicit CTimedEngine(CSteppedClock* shared = nullptr) {
        engine = new CProbeEngine(log);
        engine->destroyed = &destroyed;
        engine->SetProgress(&progress);
        engine->SetTimerClock(shared ? shared : &clock);
        engine->Start();
    }
    ~CTimedEngine() {
        engine->Stop();
        EXPECT_TRUE(WaitUntil([&] { return progress.completions.load() > 0; }));
        engine->Release();
        EXPECT_TRUE(WaitUntil([&] { return destroyed.load(); }));
    }
    // Starts a timer and returns once its thread is running.
    TIMER_INFO* StartTimer(uint32_t intervalMs) {
        engine->Post(OP_START_TIMER, intervalMs, 0, true, false);
        engine->Sync();  // the start operation, queued by the one above, has run
        return engine->lastTimer.load();
    }

    std::shared_ptr<CLog> log = std::make_shared<CLog>();
    CCountingProgress progress;
    CSteppedClock clock;  // one timer per clock
    std::atomic<bool> destroyed{false};
    CProbeEngine* engine = nullptr;
};

TEST(Timer, TicksOnTheFirstStepAtWhichMoreThanTheIntervalHasPassed) {
    struct Case {
        uint32_t interval;
        int steps;
        std::vector<int> tickSteps;  // the steps after which a new tick has run
    };
    const Case cases[] = {
        {250, 9, {3, 6, 9}},  // about 300, 600, 900 ms
        {1000, 12, {11}},     // about every 1100 ms
        {50, 3, {1, 2, 3}},   // below one step: every step
        {100, 4, {2, 4}},     // exactly one step is not more than the interval
    };
    for (const Case& c : cases) {
        CTimedEngine t;
        CProbeEngine* engine = t.engine;
        ASSERT_NE(t.StartTimer(c.interval), nullptr);
        t.clock.WaitUntilWaiting();
        std::vector<int> seen;
        for (int step = 1; step <= c.steps; ++step) {
            int before = engine->ticks;
            t.clock.Step();
            engine->Sync();  // ticks go to the priority queue, so a posted tick has run by now
            if (engine->ticks > before) seen.push_back(step);
        }
        EXPECT_EQ(seen, c.tickSteps) << "interval " << c.interval;
    }
}

TEST(Timer, AStoppedTimersLateTickStillRunsWithAValidRecord) {
    CTimedEngine t;
    CProbeEngine* engine = t.engine;
    TIMER_INFO* timer = t.StartTimer(50);
    t.clock.WaitUntilWaiting();
    engine->Hold();
    // The stop is queued first, then the timer posts a tick before it sees the stop flag.
    engine->Post(EOP_STOP_TIMER, reinterpret_cast<uintptr_t>(timer), 0, false, true);
    t.clock.Step();
    engine->Let();
    engine->Sync();
    EXPECT_EQ(engine->ticks, 1);
    EXPECT_TRUE(engine->lateTickSawStoppedRecord);
    t.clock.Open();  // nothing is waiting any more: no further tick
    engine->Sync();
    EXPECT_EQ(engine->ticks, 1);
}

TEST(Timer, StopEndsEveryTimer) {
    CTimedEngine t;
    TIMER_INFO* first = t.StartTimer(50);
    TIMER_INFO* second = t.StartTimer(1000);
    EXPECT_TRUE(first->HasThread() && second->HasThread());
    // The end of scope stops the engine, which stops (joins) both timer threads; nothing leaks.
}

size_t ThreadsOfProcess() {
    size_t n = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

TEST(Timer, TheTimersOfEveryEngineOnOneClockTickFromOneThreadEachAtItsCadence) {
    CSteppedClock clock;
    {
        CTimedEngine a(&clock), b(&clock);
        a.engine->Sync();
        b.engine->Sync();
        size_t before = ThreadsOfProcess();
        TIMER_INFO* fast = a.StartTimer(50);
        b.StartTimer(250);
        EXPECT_EQ(ThreadsOfProcess(), before + 1);
        clock.WaitUntilWaiting();
        for (int step = 1; step <= 3; ++step) {
            clock.Step();
            a.engine->Sync();
            b.engine->Sync();
        }
        EXPECT_EQ(a.engine->ticks, 3);
        EXPECT_EQ(b.engine->ticks, 1);  // 300 ms is more than 250
        // One engine's timer stops; the other's goes on, from the same thread.
        a.engine->Post(EOP_STOP_TIMER, reinterpret_cast<uintptr_t>(fast), 0, true, true);
        for (int step = 4; step <= 6; ++step) {
            clock.Step();
            b.engine->Sync();
        }
        a.engine->Sync();
        EXPECT_EQ(a.engine->ticks, 3);
        EXPECT_EQ(b.engine->ticks, 2);
        EXPECT_EQ(ThreadsOfProcess(), before + 1);
    }
    // Both engines have stopped: the clock's thread has ended before the clock goes.
}

}  // namespace
}  // namespace plover::test
