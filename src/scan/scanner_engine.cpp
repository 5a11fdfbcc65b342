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
    // The caller waits: the record points into its frame.
    return PostOwned(this, SEOP_CREATE, std::make_unique<SCreateTask>(SCreateTask{request, out}), 0, true) != 0;
}

void CScannerEngine::PostWebFile(uint32_t code, IWebFile* file) {
    if (file) PostOwned(this, code, std::make_unique<RefPtr<IWebFile>>(file));
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

uint32_t CScannerEngine::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) {
    switch (code) {
        case SEOP_CREATE: {
            SCreateTask* task = record.Get<SCreateTask>();
            return task && DoCreate(task->request, task->out) ? 1 : 0;
        }
        case SEOP_START:
            if (RefPtr<IScanner>* scanner = record.Get<RefPtr<IScanner>>(); scanner && *scanner) (*scanner)->Start();
            return 0;
        case SEOP_CLOSE:
            if (RefPtr<IScanner>* scanner = record.Get<RefPtr<IScanner>>(); scanner && *scanner) DoClose(scanner->Get());
            return 0;
        case SEOP_PAGE_COMPLETE:
        case SEOP_PAGE_FAILED:
        case SEOP_PAGE_WAITING:
            if (RefPtr<IWebFile>* file = record.Get<RefPtr<IWebFile>>(); file && *file) Route(code, file->Get());
            return 0;
        default: return 0;
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
    PostOwned(this, SEOP_START, std::make_unique<RefPtr<IScanner>>(scanner.Get()));
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
