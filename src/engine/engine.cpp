#include "engine/engine.h"

#include <poll.h>

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <new>
#include <optional>
#include <system_error>

#include "engine/engine_mgr.h"
#include "engine/timer_thread.h"

namespace plover {

namespace {

Handle ToHandle(uintptr_t v) { return Handle(intptr_t(v)); }
uintptr_t FromHandle(Handle h) { return uintptr_t(intptr_t(h)); }

// A timer travels by its identity (the record's address) once the engine owns the record; the
// engine finds it again in its own timer array, never by casting the number back.
uintptr_t TimerIdentity(const TIMER_INFO* timer) { return uintptr_t(static_cast<const void*>(timer)); }

void LogEngine(const char* text, long value) { std::fprintf(stderr, "plover engine: %s (%ld)\n", text, value); }

}  // namespace

TIMER_INFO::~TIMER_INFO() {
    if (HasThread()) RemoveTimerFromThread(this);
}

CEngine::CEngine() {
    if (wake_.IsValid())
        events_.push_back({wake_.GetHandle(), 0});
    else
        LogEngine("the wake event could not be created", long(errno));
}

CEngine::~CEngine() {
    EndQueues(false);
    // The thread's last act is releasing its own reference. When that was the last one we are on
    // the engine thread itself and must not join it; otherwise it has nothing left to do but return.
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

HRESULT CEngine::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IEngine) {
        *out = static_cast<IEngine*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CEngine::AddRef() { return refs_.Add(); }

uint32_t CEngine::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) {
        // Still whole here, so OnDiscard reaches the derived engine (a never-started engine may
        // hold queued operations); the thread, if any, has dropped its reference already.
        EndQueues(true);
        delete this;
    }
    return n;
}

void CEngine::Start() {
    {
        CAutoCriticalSection guard(lock_);
        if (started_) return;
        started_ = true;
    }
    AddRef();  // the thread's own reference, dropped as its last act
    try {
        thread_ = std::thread([this] { ThreadMain(); });
    } catch (const std::system_error& e) {
        LogEngine("the engine thread could not be started", long(e.code().value()));
        Release();
    }
}

bool CEngine::IsRunning() const {
    CAutoCriticalSection guard(lock_);
    return running_;
}

uint32_t CEngine::Post(uint32_t code, uintptr_t arg1, uintptr_t arg2, bool wait, bool priority) {
    SEngineOp op;
    op.code = code;
    op.arg1 = arg1;
    op.arg2 = arg2;
    return Queue(std::move(op), wait, priority);
}

uint32_t CEngine::PostRecord(uint32_t code, CEngineRecord record, uintptr_t value, bool wait, bool priority) {
    SEngineOp op;
    op.code = code;
    op.arg2 = value;
    op.hasRecord = true;
    op.record = std::move(record);
    return Queue(std::move(op), wait, priority);
}

uint32_t CEngine::Queue(SEngineOp op, bool wait, bool priority) {
    std::optional<std::binary_semaphore> done;
    uint32_t result = 0;
    bool refused = false;
    bool runHere = false;
    bool wake = false;
    {
        CAutoCriticalSection guard(lock_);
        if (ended_) {
            refused = true;
        } else if (wait && IsEngineThread()) {
            runHere = true;  // waiting for itself would block the engine forever
        } else {
            if (wait) {
                done.emplace(0);
                op.done = &*done;
                op.result = &result;
            }
            // A queue that already holds operations has its wake on the way (its first post gave
            // it, and only a drain, which empties both queues, takes it back).
            wake = !draining_ && normal_.empty() && priority_.empty();
            (priority ? priority_ : normal_).push_back(std::move(op));
        }
    }
    // Signalled outside the lock: the engine thread must not wait for a system call to take the
    // next operation. A wake that comes late finds the queue drained and costs one empty pass.
    if (wake) wake_.Set();
    if (refused) {
        Discard(op, !wait);
        return 0;
    }
    if (runHere) return RunOperation(op);
    if (done) done->acquire();
    return result;
}

void CEngine::Stop() { Post(EOP_STOP, 0, 0, false, false); }

void CEngine::AddEvent(Handle handle, uintptr_t cookie) { Post(EOP_ADD_EVENT, FromHandle(handle), cookie, false, false); }

void CEngine::RemoveEvent(Handle handle, bool wait) {
    if (wait && IsEngineThread())
        DoRemoveEvent(handle);
    else
        Post(EOP_REMOVE_EVENT, FromHandle(handle), 0, wait, false);
}

TIMER_INFO* CEngine::StartTimer(uint32_t intervalMs) {
    std::unique_ptr<TIMER_INFO> timer(new (std::nothrow) TIMER_INFO(intervalMs, this));
    TIMER_INFO* identity = timer.get();
    if (timer) PostOwned(this, EOP_START_TIMER, std::move(timer));
    return identity;
}

void CEngine::StopTimer(TIMER_INFO* timer) { Post(EOP_STOP_TIMER, TimerIdentity(timer), 0, false, false); }

// ---- the engine thread ----

void CEngine::ThreadMain() {
    threadId_ = std::this_thread::get_id();
    RunLoop();
    if (IProgress* progress = progress_.load()) progress->OnComplete(static_cast<IEngine*>(this));
    Release();  // may destroy the engine: nothing below may touch it
}

void CEngine::RunLoop() {
    OnStart();
    while (!ShouldEnd() && WaitAndDispatch()) {
    }
    EndQueues(true);
    timers_.RemoveAll();  // every timer has left its thread by now
}

// Decides whether the loop ends, and deletes stopped timers once no tick for them can be queued.
bool CEngine::ShouldEnd() {
    CAutoCriticalSection guard(lock_);
    if (normal_.empty() && priority_.empty()) {
        for (size_t i = timers_.GetSize(); i-- > 0;) {
            if (!timers_[i]->HasThread()) {
                delete timers_[i];
                timers_.RemoveAt(i);
            }
        }
    }
    return !running_ && normal_.empty();
}

// One wait over the event table, then either a drain of the queues (the wake event wins) or
// OnEvent for every signalled handle in table order. False when the loop is to end.
bool CEngine::WaitAndDispatch() {
    std::vector<pollfd> fds;
    fds.reserve(events_.size());
    for (const SEventInfo& e : events_) fds.push_back({e.handle, POLLIN, 0});
    if (poll(fds.data(), nfds_t(fds.size()), -1) < 0) {
        if (errno != EINTR) LogEngine("poll failed", long(errno));
        return IsRunning();
    }
    if (!IsRunning()) return false;
    if (!fds.empty() && fds[0].revents != 0 && fds[0].fd == wake_.GetHandle()) {
        Drain();
        return true;
    }
    const std::vector<SEventInfo> table = events_;  // the entries that fds[] mirror
    std::vector<SEventInfo> signalled;
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents & POLLNVAL) {
            // A closed descriptor is never signalled again and would make every wait return at once.
            LogEngine("a registered handle was closed while waited on; removed", long(fds[i].fd));
            DoRemoveEvent(fds[i].fd);
        } else if (fds[i].revents != 0) {
            signalled.push_back(table[i]);
        }
    }
    for (size_t i = 0; i < signalled.size(); ++i) {
        const SEventInfo& s = signalled[i];
        // An earlier OnEvent of this pass may have removed the entry or cleared the signal; the
        // first one of the pass comes straight from the wait.
        bool present = false;
        for (const SEventInfo& e : events_) present = present || (e.handle == s.handle && e.cookie == s.cookie);
        if (present && (i == 0 || IsHandleSignalled(s.handle))) OnEvent(s.cookie);
    }
    return true;
}

void CEngine::Drain() {
    {
        CAutoCriticalSection guard(lock_);
        draining_ = true;
    }
    wake_.Reset();  // after the flag: a post from now on is taken below without a wake
    for (;;) {
        SEngineOp op;
        {
            CAutoCriticalSection guard(lock_);
            std::deque<SEngineOp>& queue = priority_.empty() ? normal_ : priority_;
            if (queue.empty()) {
                draining_ = false;
                return;
            }
            op = std::move(queue.front());
            queue.pop_front();
        }
        Execute(op);
    }
}

void CEngine::Execute(SEngineOp& op) {
    uint32_t result = RunOperation(op);
    op.record = CEngineRecord();  // freed before the waiting caller goes on
    if (op.result) *op.result = result;
    if (op.done) op.done->release();
}

uint32_t CEngine::RunOperation(SEngineOp& op) {
    switch (op.code) {
        case EOP_ADD_EVENT: DoAddEvent(ToHandle(op.arg1), op.arg2); return 0;
        case EOP_REMOVE_EVENT: DoRemoveEvent(ToHandle(op.arg1)); return 0;
        case EOP_START_TIMER: DoStartTimer(op.record.Take<TIMER_INFO>()); return 0;
        case EOP_STOP_TIMER:
            if (TIMER_INFO* timer = FindTimer(op.arg1)) DoStopTimer(timer);
            return 0;
        case EOP_TIMER:
            if (TIMER_INFO* timer = FindTimer(op.arg1)) OnTimer(timer);
            return 0;
        case EOP_STOP: DoStop(); return 0;
        case EOP_SOCKET_MESSAGE:
            if (auto* msg = op.record.Get<SSocketMessageBase>()) msg->Deliver();
            return 0;
        default: return op.hasRecord ? OnRecord(op.code, op.record, op.arg2) : OnOperation(op.code, op.arg1, op.arg2);
    }
}

TIMER_INFO* CEngine::FindTimer(uintptr_t identity) const {
    for (TIMER_INFO* timer : timers_)
        if (TimerIdentity(timer) == identity) return timer;
    return nullptr;
}

void CEngine::DoAddEvent(Handle handle, uintptr_t cookie) {
    if (handle < 0) {
        LogEngine("refused to wait on an invalid handle", long(handle));
        return;
    }
    for (const SEventInfo& e : events_)
        if (e.handle == handle) return;  // already waited on: the first cookie stays
    if (events_.size() >= kMaxEngineHandles) {
        LogEngine("event table full, handle refused", long(handle));
        return;
    }
    events_.push_back({handle, cookie});
}

void CEngine::DoRemoveEvent(Handle handle) {
    // Entry 0, the wake event, stays for the engine's whole life.
    for (size_t i = 1; i < events_.size(); ++i) {
        if (events_[i].handle == handle) {
            events_.erase(events_.begin() + ptrdiff_t(i));
            return;
        }
    }
}

void CEngine::DoStartTimer(std::unique_ptr<TIMER_INFO> owned) {
    if (!owned) return;
    TIMER_INFO* timer = owned.release();
    timers_.Add(timer);
    // A timer started once the stop has run never gets a thread; it is deleted with the stopped ones.
    if (!IsRunning()) return;
    ITimerClock* clock = clock_.load();
    AddTimerToThread(timer, clock ? clock : &SystemTimerClock());
}

void CEngine::DoStopTimer(TIMER_INFO* timer) {
    if (!timer->HasThread()) return;
    timer->stop = true;
    RemoveTimerFromThread(timer);
}

void CEngine::DoStop() {
    OnStop();
    for (TIMER_INFO* timer : timers_) DoStopTimer(timer);
    CAutoCriticalSection guard(lock_);
    running_ = false;
}

// The loop has ended (or the engine is being destroyed): refuse further posts, release every
// waiting caller with result 0 and free what the operations that will never run carried.
void CEngine::EndQueues(bool callHook) {
    std::deque<SEngineOp> left;
    {
        CAutoCriticalSection guard(lock_);
        ended_ = true;
        running_ = false;
        left.swap(priority_);
        left.insert(left.end(), std::make_move_iterator(normal_.begin()), std::make_move_iterator(normal_.end()));
        normal_.clear();
    }
    for (SEngineOp& op : left) {
        Discard(op, callHook && !op.done);
        if (op.done) op.done->release();
    }
}

// Frees what an operation that will never run carried: its record always, the arguments of a
// plain operation of another code through OnDiscard when asked (nobody waits for them).
void CEngine::Discard(SEngineOp& op, bool callHook) {
    if (op.hasRecord) {
        op.record = CEngineRecord();
        return;
    }
    if (callHook && (op.code == 0 || op.code > EOP_LAST_RESERVED)) OnDiscard(op.code, op.arg1, op.arg2);
}

}  // namespace plover
