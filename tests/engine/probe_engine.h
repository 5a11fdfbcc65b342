#pragma once
// Test doubles for the engine tests: a probe engine that records what runs on its thread, can be
// held inside an operation or an OnEvent call until the test lets it go, and tells when it has been
// destroyed; a stepped timer clock whose 100 ms steps pass only when the test says so; and an
// IProgress that counts completion reports.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <semaphore>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_mgr.h"

namespace plover::test {

// Waits (generously) until pred() holds; false if it never did.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 20000);

class CLog {
public:
    void Add(const std::string& s);
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
};

// Operation codes of the probe engine.
constexpr uint32_t OP_RECORD = 1000;       // logs "op <arg1>"
constexpr uint32_t OP_VALUE = 1001;        // returns arg1 * 3 + arg2
constexpr uint32_t OP_BLOCK = 1002;        // holds the engine until Release()
constexpr uint32_t OP_SYNC = 1003;         // returns 1: a waited barrier
constexpr uint32_t OP_START_TIMER = 1004;  // StartTimer(arg1); the record is kept in lastTimer
constexpr uint32_t OP_TABLE = 1005;        // copies the event table into table
constexpr uint32_t OP_HEAP = 1006;         // arg1 is a heap int, deleted after use
constexpr uint32_t OP_TAIL = 1007;         // logs "<name>:tail"
constexpr uint32_t OP_OWNED = 1008;        // record SProbeRecord: logs "record <value>", returns value

// A record that counts its own destruction and can hand a value back to a waiting poster.
struct SProbeRecord {
    SProbeRecord(uint32_t v, std::atomic<int>* freedCount, uint32_t* answer = nullptr)
        : value(v), freed(freedCount), out(answer) {}
    ~SProbeRecord() { ++*freed; }
    uint32_t value;
    std::atomic<int>* freed;
    uint32_t* out;
};

class CProbeEngine : public CEngine {
public:
    CProbeEngine(std::shared_ptr<CLog> log, std::string name = "e");

    // Holding the engine: Hold() posts OP_BLOCK and returns once the engine is inside it.
    void Hold();
    void Let();
    // Waits until the engine is held by OnEvent(holdCookie).
    void WaitHeld() { entered_.acquire(); }
    // Handles registered with these cookies are reset by OnEvent; holdCookie holds the engine.
    void Watch(uintptr_t cookie, CEvent* event) { watched_[cookie] = event; }
    uintptr_t holdCookie = 0;
    std::atomic<bool>* destroyed = nullptr;

    std::atomic<TIMER_INFO*> lastTimer{nullptr};
    std::atomic<int> ticks{0};
    std::atomic<bool> lateTickSawStoppedRecord{false};
    std::vector<SEventInfo> table;  // filled by OP_TABLE; read after the waited post

    uint32_t Sync() { return Post(OP_SYNC, 0, 0, true, false); }
    using CEngine::StopTimer;

protected:
    ~CProbeEngine() override;
    void OnStart() override;
    void OnStop() override;
    void OnEvent(uintptr_t cookie) override;
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;
    void OnTimer(TIMER_INFO* timer) override;
    void OnDiscard(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;

private:
    void Block();

    std::shared_ptr<CLog> log_;
    std::string name_;
    std::map<uintptr_t, CEvent*> watched_;
    std::binary_semaphore entered_{0};
    std::binary_semaphore gate_{0};
};

class CSteppedClock final : public ITimerClock {
public:
    CSteppedClock();
    ~CSteppedClock();
    uint32_t Now() override { return now_.load(); }
    void WaitStep(uint32_t ms, Handle stop) override;

    // Waits until the timer thread waits in a step (it has read the clock first).
    void WaitUntilWaiting();
    // Lets one step pass and waits until the timer thread waits in the next one, so that a tick
    // due at this step has been posted.
    void Step();
    // Lets one step pass without waiting for the thread.
    void Open();

private:
    int gate_ = -1;
    std::atomic<uint32_t> now_{0};
    std::mutex lock_;
    std::condition_variable cv_;
    int entered_ = 0;
};

class CCountingProgress final : public IProgress {
public:
    HRESULT QueryInterface(const GUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    void OnProgress(uint32_t, uint32_t, uint32_t) override {}
    void OnProgressStep(uint32_t, uint32_t) override {}
    void OnComplete(IUnknown*) override { ++completions; }
    std::atomic<int> completions{0};
};

}  // namespace plover::test
