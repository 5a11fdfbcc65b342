#include "scan/scanner_engine.h"

#include "scan/scanner.h"

namespace plover {

CScannerEngine::CScannerEngine(IEngineMgr* engines) : engines_(engines) {}

CScannerEngine::~CScannerEngine() = default;

HRESULT CScannerEngine::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IScannerEngine) {
        *out = static_cast<IScannerEngine*>(this);
    } else if (iid == IID_IPageStatusCallback) {
        *out = static_cast<IPageStatusCallback*>(this);
    } else {
        return CEngine::QueryInterface(iid, out);
    }
    AddRef();
    return S_OK;
}

// ---- the interfaces (any thread) ----

bool CScannerEngine::CreateScanner(const SScanRequest* request, IScanner** out) {
    if (!out) return false;
    *out = nullptr;
    if (!request) return false;
    return Post(SEOP_CREATE, reinterpret_cast<uintptr_t>(request), reinterpret_cast<uintptr_t>(out), true, false) != 0;
}

void CScannerEngine::PostWebFile(uint32_t code, IWebFile* file) {
    if (!file) return;
    file->AddRef();  // released by the handler, or by OnDiscard when the engine has ended
    Post(code, reinterpret_cast<uintptr_t>(file), 0, false, false);
}

void CScannerEngine::OnPageComplete(IWebFile* file) { PostWebFile(SEOP_PAGE_COMPLETE, file); }
void CScannerEngine::OnPageFailed(IWebFile* file) { PostWebFile(SEOP_PAGE_FAILED, file); }
void CScannerEngine::OnPageWaiting(IWebFile* file) { PostWebFile(SEOP_PAGE_WAITING, file); }

// ---- the engine thread ----

void CScannerEngine::OnStart() { timer_ = StartTimer(kScanDeliveryMs); }

void CScannerEngine::OnStop() {
    if (timer_) StopTimer(timer_);
    timer_ = nullptr;
    // Stopping cancels the scans' fetches, so that nothing is left for the downloader to finish.
    std::vector<RefPtr<IScanner>> scanners;
    scanners.swap(scanners_);
    for (auto& scanner : scanners) scanner->Stop();
}

void CScannerEngine::OnTimer(TIMER_INFO* timer) {
    if (timer != timer_) return;
    // A Tick may post a close (from the window's thread) but never changes the list itself.
    for (size_t i = 0; i < scanners_.size(); ++i) scanners_[i]->Tick();
}

uint32_t CScannerEngine::OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) {
    switch (code) {
        case SEOP_CREATE:
            return DoCreate(reinterpret_cast<const SScanRequest*>(arg1), reinterpret_cast<IScanner**>(arg2)) ? 1 : 0;
        case SEOP_START: {
            auto scanner = RefPtr<IScanner>::Adopt(reinterpret_cast<IScanner*>(arg1));
            if (scanner) scanner->Start();
            return 0;
        }
        case SEOP_CLOSE: {
            auto scanner = RefPtr<IScanner>::Adopt(reinterpret_cast<IScanner*>(arg1));
            if (scanner) DoClose(scanner.Get());
            return 0;
        }
        case SEOP_PAGE_COMPLETE:
        case SEOP_PAGE_FAILED:
        case SEOP_PAGE_WAITING: {
            auto file = RefPtr<IWebFile>::Adopt(reinterpret_cast<IWebFile*>(arg1));
            if (file) Route(code, file.Get());
            return 0;
        }
        default: return 0;
    }
}

void CScannerEngine::OnDiscard(uint32_t code, uintptr_t arg1, uintptr_t) {
    if (!arg1) return;
    switch (code) {
        case SEOP_START:
        case SEOP_CLOSE: reinterpret_cast<IScanner*>(arg1)->Release(); break;
        case SEOP_PAGE_COMPLETE:
        case SEOP_PAGE_FAILED:
        case SEOP_PAGE_WAITING: reinterpret_cast<IWebFile*>(arg1)->Release(); break;
        default: break;
    }
}

bool CScannerEngine::DoCreate(const SScanRequest* request, IScanner** out) {
    if (!request || !out) return false;
    RefPtr<IPageMgr> pageMgr;
    RefPtr<IEngine> engine;
    if (engines_ && engines_->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put()))
        pageMgr = QueryAs<IPageMgr>(engine.Get(), IID_IPageMgr);
    RefPtr<CScanner> scanner = CScanner::Create(*request, pageMgr.Get(), this, this);
    scanners_.emplace_back(scanner.Get());
    *out = scanner.Get();
    (*out)->AddRef();  // the caller's
    IScanner* started = scanner.Get();
    started->AddRef();  // the start operation's
    Post(SEOP_START, reinterpret_cast<uintptr_t>(started), 0, false, false);
    return true;
}

void CScannerEngine::DoClose(IScanner* scanner) {
    for (size_t i = 0; i < scanners_.size(); ++i) {
        if (scanners_[i].Get() != scanner) continue;
        RefPtr<IScanner> closed = std::move(scanners_[i]);
        scanners_.erase(scanners_.begin() + ptrdiff_t(i));
        closed->Stop();
        return;
    }
}

void CScannerEngine::Route(uint32_t code, IWebFile* file) {
    for (size_t i = 0; i < scanners_.size(); ++i) {
        IScanner* scanner = scanners_[i].Get();
        bool handled = code == SEOP_PAGE_COMPLETE ? scanner->HandlePageComplete(file)
                       : code == SEOP_PAGE_FAILED ? scanner->HandlePageFailed(file)
                                                  : scanner->HandlePageWaiting(file);
        if (handled) return;
    }
    // No scanner waits for it any more (its scan was stopped): dropped.
}

}  // namespace plover
