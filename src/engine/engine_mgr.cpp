#include "engine/engine_mgr.h"

namespace plover {

// What one step of the orderly stop does once the manager's lock has been left: stop the next
// engine, or release the emptied table and tell the window.
struct CEngineMgr::SStopStep {
    RefPtr<IEngine> toStop;
    std::vector<SEngineInfo> dropped;
    bool finished = false;
    HWND notify = nullptr;
};

CEngineMgr::~CEngineMgr() {
    std::vector<SEngineInfo> dropped;
    {
        CAutoCriticalSection guard(lock_);
        dropped.swap(engines_);
    }
}

HRESULT CEngineMgr::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IEngineMgr) {
        *out = static_cast<IEngineMgr*>(this);
        return S_OK;
    }
    if (iid == IID_IProgress) {
        *out = static_cast<IProgress*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

bool CEngineMgr::IsRunning() {
    CAutoCriticalSection guard(lock_);
    return running_;
}

size_t CEngineMgr::GetEngineCount() const {
    CAutoCriticalSection guard(lock_);
    return engines_.size();
}

ptrdiff_t CEngineMgr::FindRow(const GUID& id) const {
    for (size_t i = 0; i < engines_.size(); ++i)
        if (engines_[i].id == id) return ptrdiff_t(i);
    return -1;
}

bool CEngineMgr::GetEngine(const GUID& id, IEngine** out) {
    if (!out) return false;
    CAutoCriticalSection guard(lock_);
    ptrdiff_t i = FindRow(id);
    if (i < 0) return false;
    *out = engines_[size_t(i)].engine.Get();
    (*out)->AddRef();
    return true;
}

bool CEngineMgr::RegisterEngine(const GUID& id, IEngine* engine) {
    if (!engine) return false;
    {
        CAutoCriticalSection guard(lock_);
        // Once the stop has begun nobody would stop a newly started engine.
        if (stopping_ || FindRow(id) >= 0) return false;
        if (auto* e = dynamic_cast<CEngine*>(engine)) e->SetProgress(this);
        engines_.push_back({id, RefPtr<IEngine>(engine), false});
    }
    engine->Start();
    return true;
}

bool CEngineMgr::UnregisterEngine(const GUID& id) {
    RefPtr<IEngine> dropped;
    SStopStep step;
    {
        CAutoCriticalSection guard(lock_);
        ptrdiff_t i = FindRow(id);
        if (i < 0) return false;
        dropped = std::move(engines_[size_t(i)].engine);
        engines_.erase(engines_.begin() + i);
        // Keep the stop index on the same engine; removing the one being stopped moves on.
        if (stopping_ && stopIndex_ >= 0) {
            if (i < stopIndex_)
                --stopIndex_;
            else if (i == stopIndex_)
                AdvanceStop(step);
        }
    }
    FinishStep(step);
    return true;
}

void CEngineMgr::StopAllEngines(HWND notify) {
    SStopStep step;
    {
        CAutoCriticalSection guard(lock_);
        if (stopping_) return;
        stopping_ = true;
        notify_ = notify;
        stopIndex_ = int32_t(engines_.size());
        AdvanceStop(step);
    }
    FinishStep(step);
}

void CEngineMgr::OnComplete(IUnknown* who) {
    SStopStep step;
    {
        CAutoCriticalSection guard(lock_);
        ptrdiff_t i = -1;
        for (size_t r = 0; r < engines_.size() && i < 0; ++r) {
            IUnknown* row = engines_[r].engine.Get();
            if (row == who || SameObject(row, who)) i = ptrdiff_t(r);
        }
        if (i < 0) return;  // not ours (or unregistered meanwhile)
        engines_[size_t(i)].ended = true;
        // An engine that ended on its own before its turn is skipped when its turn comes.
        if (!stopping_ || i != stopIndex_) return;
        AdvanceStop(step);
    }
    FinishStep(step);
}

// Under the lock: moves the stop index to the next engine still running, or finishes the stop.
void CEngineMgr::AdvanceStop(SStopStep& step) {
    --stopIndex_;
    while (stopIndex_ >= 0 && engines_[size_t(stopIndex_)].ended) --stopIndex_;
    if (stopIndex_ >= 0) {
        step.toStop = engines_[size_t(stopIndex_)].engine;
        return;
    }
    running_ = false;
    step.dropped.swap(engines_);
    step.finished = true;
    step.notify = notify_;
}

// Outside the lock: stopping only posts, and releasing an engine may destroy it.
void CEngineMgr::FinishStep(SStopStep& step) {
    if (step.toStop) step.toStop->Stop();
    step.toStop.Reset();
    step.dropped.clear();
    if (step.finished) PostMessage(step.notify, WM_PV_ENGINES_STOPPED, 0, 0);
}

IEngineMgr* GetEngineMgr() {
    static CEngineMgr* const manager = new CEngineMgr;  // lives for the whole process
    return manager;
}

}  // namespace plover
