#include "probe_engine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace plover::test {

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void CLog::Add(const std::string& s) {
    std::lock_guard g(lock_);
    lines_.push_back(s);
}

std::vector<std::string> CLog::Lines() const {
    std::lock_guard g(lock_);
    return lines_;
}

CProbeEngine::CProbeEngine(std::shared_ptr<CLog> log, std::string name) : log_(std::move(log)), name_(std::move(name)) {}

CProbeEngine::~CProbeEngine() {
    if (destroyed) *destroyed = true;
}

void CProbeEngine::Hold() {
    Post(OP_BLOCK, 0, 0, false, false);
    entered_.acquire();
}

void CProbeEngine::Let() { gate_.release(); }

void CProbeEngine::Block() {
    entered_.release();
    gate_.acquire();
}

void CProbeEngine::OnStart() { log_->Add(name_ + ":start"); }

void CProbeEngine::OnStop() {
    log_->Add(name_ + ":stop");
    // Queued behind the stop: still runs before the engine ends.
    Post(OP_TAIL, 0, 0, false, false);
}

void CProbeEngine::OnEvent(uintptr_t cookie) {
    log_->Add("event " + std::to_string(cookie));
    if (auto it = watched_.find(cookie); it != watched_.end()) it->second->Reset();
    if (cookie == holdCookie) Block();
}

uint32_t CProbeEngine::OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) {
    switch (code) {
        case OP_RECORD: log_->Add("op " + std::to_string(arg1)); return 0;
        case OP_VALUE: return uint32_t(arg1 * 3 + arg2);
        case OP_BLOCK: Block(); return 0;
        case OP_SYNC: return 1;
        case OP_START_TIMER: lastTimer = StartTimer(uint32_t(arg1)); return 1;
        case OP_TABLE: table = EventTable(); return uint32_t(table.size());
        case OP_HEAP: delete reinterpret_cast<int*>(arg1); return 0;
        case OP_TAIL:
            std::this_thread::sleep_for(std::chrono::milliseconds(2));  // gives a wrongly early successor a chance to show
            log_->Add(name_ + ":tail");
            return 0;
        default: return 0;
    }
}

uint32_t CProbeEngine::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) {
    SProbeRecord* r = record.Get<SProbeRecord>();
    if (code != OP_OWNED || !r) return 0;
    log_->Add("record " + std::to_string(r->value));
    if (r->out) *r->out = r->value;
    return r->value;
}

void CProbeEngine::OnTimer(TIMER_INFO* timer) {
    if (timer->stop && !timer->HasThread() && timer->engine == this) lateTickSawStoppedRecord = true;
    ++ticks;
}

void CProbeEngine::OnDiscard(uint32_t code, uintptr_t arg1, uintptr_t) {
    log_->Add("discard " + std::to_string(code));
    if (code == OP_HEAP) delete reinterpret_cast<int*>(arg1);
}

CSteppedClock::CSteppedClock() : gate_(eventfd(0, EFD_SEMAPHORE | EFD_CLOEXEC)) {}

CSteppedClock::~CSteppedClock() { close(gate_); }

void CSteppedClock::WaitStep(uint32_t ms, Handle stop) {
    {
        std::lock_guard g(lock_);
        ++entered_;
    }
    cv_.notify_all();
    pollfd p[2] = {{gate_, POLLIN, 0}, {stop, POLLIN, 0}};
    while (poll(p, 2, -1) < 0 && errno == EINTR) {
    }
    uint64_t one;
    if ((p[0].revents & POLLIN) && read(gate_, &one, sizeof one) == sizeof one) now_ += ms;
}

void CSteppedClock::WaitUntilWaiting() {
    std::unique_lock g(lock_);
    cv_.wait(g, [&] { return entered_ > 0; });
}

void CSteppedClock::Open() {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(gate_, &one, sizeof one);
}

void CSteppedClock::Step() {
    std::unique_lock g(lock_);
    int before = entered_;
    g.unlock();
    Open();
    g.lock();
    cv_.wait(g, [&] { return entered_ > before; });
}

}  // namespace plover::test
