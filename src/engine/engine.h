#pragma once
// An engine is one background thread that runs all of its work itself. Other threads never touch
// its state: they post operations to it (a 32-bit code and two pointer-sized arguments, optionally
// waiting for a 32-bit result) and hear back through sinks or posted window messages.
//
// The thread sleeps in one poll() over its event table: entry 0 is the engine's wake event, which
// every post signals; the others are pollable handles that derived engines register with a cookie
// (AddEvent). Each pass of the loop either drains the queues (when the wake event is signalled;
// the priority queue first, timer ticks go there) or calls OnEvent for every signalled handle in
// table order. Timers are served by one thread per clock, which posts ticks in 100 ms steps.
//
// Life: the constructor creates the object and its wake event; nothing runs until Start, which
// starts the thread. Stop posts the stop operation: OnStop runs, every timer ends, and the
// operations already queued still run; then the loop ends, the engine tells its IProgress (the
// engine manager that registered it) OnComplete once, and the thread ends. The thread holds its
// own reference to the engine from Start until its very last act, so the object outlives its
// thread even when the last other reference is released inside OnComplete.
//
// Operations posted after the stop has run are not executed: a waiting caller gets 0 at once, a
// record the operation carries is freed, and OnDiscard sees the plain operations of other codes.
//
// Codes 1 to 7 are reserved (EOP_*). Code 7 carries an SSocketMessageBase record: the socket layer
// derives its message from it, the engine calls Deliver() on its thread and frees the message.
//
// Heap data travels as an owned record (PostRecord, PostOwned): the engine frees it when the
// operation has run or will never run, whether or not the poster waits; the handler (OnRecord)
// only reads it, or takes it over. Plain values (handles, identifiers, cookies) use Post.
//
// A derived engine that implements further interfaces overrides QueryInterface (answering its own
// identifiers and calling CEngine::QueryInterface for the rest) and forwards AddRef/Release to
// CEngine's.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <semaphore>
#include <thread>
#include <vector>

#include "engine/containers.h"
#include "engine/engine_record.h"
#include "engine/timer_clock.h"
#include "platform/com.h"
#include "platform/event.h"

namespace plover {

inline constexpr GUID IID_IEngine = MakeGuid("8FF725EA-37AA-4FC0-9002-79B218057EC2");

// Reserved operation codes; every other code goes to OnOperation. Engines use their own blocks
// (downloader 101-127, socket engine from 201, file relocator 301-302, dial-up 401-404,
// page manager 801-804, basket engine from 901, scanner engine 1001-1007).
constexpr uint32_t EOP_ADD_EVENT = 1;       // arg1 handle, arg2 cookie
constexpr uint32_t EOP_REMOVE_EVENT = 2;    // arg1 handle
constexpr uint32_t EOP_START_TIMER = 3;     // record TIMER_INFO
constexpr uint32_t EOP_STOP_TIMER = 4;      // arg1 the timer's identity (its TIMER_INFO address)
constexpr uint32_t EOP_TIMER = 5;           // arg1 the timer's identity
constexpr uint32_t EOP_STOP = 6;            // no arguments
constexpr uint32_t EOP_SOCKET_MESSAGE = 7;  // record SSocketMessageBase
constexpr uint32_t EOP_LAST_RESERVED = 7;

// The most handles one wait serves, the wake event included.
constexpr size_t kMaxEngineHandles = 64;

struct IEngine : IUnknown {
    // Lets the thread run. Only the first call has an effect.
    virtual void Start() = 0;
    // Queues an operation. With `wait` the caller blocks until it has run and gets its result
    // (0 when it never runs because the engine has stopped); without, 0 at once.
    virtual uint32_t Post(uint32_t code, uintptr_t arg1, uintptr_t arg2, bool wait, bool priority) = 0;
    // Queues an operation carrying an owned record and a plain value, as Post otherwise. The engine
    // frees the record once the operation has run or will never run.
    virtual uint32_t PostRecord(uint32_t code, CEngineRecord record, uintptr_t value, bool wait, bool priority) = 0;
    // Posts EOP_STOP (no wait, normal queue).
    virtual void Stop() = 0;
    // Posts EOP_ADD_EVENT (no wait, normal queue).
    virtual void AddEvent(Handle handle, uintptr_t cookie) = 0;
    // On the engine thread with `wait`, removes the entry at once; otherwise posts EOP_REMOVE_EVENT.
    virtual void RemoveEvent(Handle handle, bool wait) = 0;

protected:
    ~IEngine() = default;
};

struct IProgress;
class CEngine;

// One entry of the event table.
struct SEventInfo {
    Handle handle = kNoHandle;
    uintptr_t cookie = 0;
};

// Posts `record` with `code` (and a plain `value`) to `engine`; the engine owns it from now on.
template <class T>
uint32_t PostOwned(IEngine* engine, uint32_t code, std::unique_ptr<T> record, uintptr_t value = 0, bool wait = false,
                   bool priority = false) {
    return engine->PostRecord(code, CEngineRecord(std::move(record)), value, wait, priority);
}

// One queued operation. `done` and `result` are set only when a caller waits for it: the engine
// stores the result, then releases `done` (also when the operation will never run, result 0).
// An operation posted with a record (`hasRecord`) goes to OnRecord with arg2 as its value.
struct SEngineOp {
    uint32_t code = 0;
    uintptr_t arg1 = 0;
    uintptr_t arg2 = 0;
    bool hasRecord = false;
    CEngineRecord record;
    std::binary_semaphore* done = nullptr;
    uint32_t* result = nullptr;
};

// One timer; the address of the record is the timer's identity. It lives in the engine's timer
// array and is deleted by the engine thread after the timer has stopped and no tick for it can be
// queued any more. Its clock's timer thread (timer_thread.h) serves it while it runs.
struct TIMER_INFO {
    TIMER_INFO(uint32_t intervalMs, CEngine* owner) : interval(intervalMs), engine(owner) {}
    // A record is normally deleted after it has left its timer thread; if not, it leaves it first.
    ~TIMER_INFO();
    TIMER_INFO(const TIMER_INFO&) = delete;
    TIMER_INFO& operator=(const TIMER_INFO&) = delete;

    uint32_t interval = 0;
    std::atomic<bool> stop{false};
    CEngine* engine = nullptr;
    ITimerClock* clock = nullptr;  // set while a timer thread serves it (engine thread only)
    uint32_t last = 0;             // the time of the last tick (the timer thread's, under its lock)

    // Served by a timer thread: it may still post ticks.
    bool HasThread() const { return clock != nullptr; }
};

// The base of a socket notification carried by EOP_SOCKET_MESSAGE. The socket layer derives its
// message from it; the engine calls Deliver() on its own thread and then frees the message.
struct SSocketMessageBase {
    virtual ~SSocketMessageBase() = default;
    virtual void Deliver() = 0;
};

// Posts a heap socket message to an engine (no wait); the engine owns it from now on.
inline void PostSocketMessage(IEngine* engine, SSocketMessageBase* msg) {
    PostOwned(engine, EOP_SOCKET_MESSAGE, std::unique_ptr<SSocketMessageBase>(msg));
}

class CEngine : public IEngine {
public:
    CEngine();
    CEngine(const CEngine&) = delete;
    CEngine& operator=(const CEngine&) = delete;

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    // IEngine
    void Start() override;
    uint32_t Post(uint32_t code, uintptr_t arg1, uintptr_t arg2, bool wait, bool priority) override;
    uint32_t PostRecord(uint32_t code, CEngineRecord record, uintptr_t value, bool wait, bool priority) override;
    void Stop() override;
    void AddEvent(Handle handle, uintptr_t cookie) override;
    void RemoveEvent(Handle handle, bool wait) override;

    // Who hears OnComplete when the loop has ended (the manager sets itself when it registers the
    // engine); none by default. Not referenced: it must outlive the engine's run.
    void SetProgress(IProgress* progress) { progress_.store(progress); }
    // The clock of the timers started from now on; the system clock by default. Not owned.
    void SetTimerClock(ITimerClock* clock) { clock_.store(clock); }

    // Id of the engine thread, or std::thread::id() before it has started.
    std::thread::id GetThreadId() const { return threadId_.load(); }
    bool IsEngineThread() const { return std::this_thread::get_id() == threadId_.load(); }
    // True from construction until the stop operation has run.
    bool IsRunning() const;

protected:
    virtual ~CEngine();

    // Hooks, all on the engine thread (OnDiscard also on a poster's thread).
    virtual void OnStart() {}
    virtual void OnStop() {}
    virtual void OnEvent(uintptr_t cookie) { (void)cookie; }
    virtual uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) {
        (void)code, (void)arg1, (void)arg2;
        return 0;
    }
    // An operation posted with a record. The engine frees the record afterwards unless the handler
    // took it over (CEngineRecord::Take).
    virtual uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) {
        (void)code, (void)record, (void)value;
        return 0;
    }
    virtual void OnTimer(TIMER_INFO* timer) { (void)timer; }
    // A plain operation (Post) with a code outside 1..7 that nobody waits for and that will never
    // run (posted after the stop has run). Records need nothing here: the engine frees them.
    virtual void OnDiscard(uint32_t code, uintptr_t arg1, uintptr_t arg2) { (void)code, (void)arg1, (void)arg2; }

    // Starts a timer of `intervalMs` and returns its identity.
    TIMER_INFO* StartTimer(uint32_t intervalMs);
    void StopTimer(TIMER_INFO* timer);

    // For tests and diagnostics, on the engine thread: the event table as it stands.
    const std::vector<SEventInfo>& EventTable() const { return events_; }

private:
    void ThreadMain();
    void RunLoop();
    bool ShouldEnd();
    bool WaitAndDispatch();
    void Drain();
    uint32_t Queue(SEngineOp op, bool wait, bool priority);
    void Execute(SEngineOp& op);
    uint32_t RunOperation(SEngineOp& op);
    void DoAddEvent(Handle handle, uintptr_t cookie);
    void DoRemoveEvent(Handle handle);
    void DoStartTimer(std::unique_ptr<TIMER_INFO> timer);
    void DoStopTimer(TIMER_INFO* timer);
    TIMER_INFO* FindTimer(uintptr_t identity) const;
    void DoStop();
    void EndQueues(bool callHook);
    void Discard(SEngineOp& op, bool callHook);

    RefCount refs_;
    bool running_ = true;  // guarded by lock_
    bool ended_ = false;   // guarded by lock_: the loop has ended, posts are refused
    std::vector<SEventInfo> events_;
    mutable CCriticalSection lock_;
    std::deque<SEngineOp> normal_;
    std::deque<SEngineOp> priority_;
    // Guarded by lock_: the thread is inside Drain and takes every operation queued before it
    // finds the queues empty, so a post needs no wake (one system call and a wake-up saved).
    bool draining_ = false;
    CEvent wake_;
    CGCPtrArray<TIMER_INFO> timers_;
    std::atomic<std::thread::id> threadId_{};
    std::atomic<IProgress*> progress_{nullptr};
    std::atomic<ITimerClock*> clock_{nullptr};
    std::thread thread_;
    bool started_ = false;  // guarded by lock_
};

}  // namespace plover
