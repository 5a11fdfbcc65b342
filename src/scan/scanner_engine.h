#pragma once
// CScannerEngine: the engine thread on which every scan runs. It creates scanners on request
// (SEOP_CREATE, the caller waits), starts each one (SEOP_START), routes the page manager's callbacks
// to the scanner that asked for the page, and every 499 ms lets each scanner deliver its new
// results to its window. Several scans share the one engine.
//
// The page manager calls IPageStatusCallback on its own thread or the downloader's; each call
// only posts an operation (1005 complete, 1006 failed, 1007 waiting) carrying the web file, so
// the scanners' work happens here. A web file is offered to the scanners in list order and
// handled by the first that still waits for it; one that no scanner holds (its scan was stopped)
// is dropped.
//
// A scanner leaves the list only through SEOP_CLOSE (IScanner::Close), which stops it first.
// When the engine stops, every scanner is stopped (its fetches cancelled) and released.
#include <cstdint>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_mgr.h"
#include "scan/i_page_mgr.h"
#include "scan/i_scanner.h"

namespace plover {

// The delivery period.
constexpr uint32_t kScanDeliveryMs = 499;

class CScannerEngine final : public CEngine, public IPageStatusCallback, public IScannerEngine {
public:
    // engines: where each new scanner finds the page manager (the process-wide manager by default).
    explicit CScannerEngine(IEngineMgr* engines = GetEngineMgr());
    static RefPtr<CScannerEngine> Create(IEngineMgr* engines = GetEngineMgr()) {
        return RefPtr<CScannerEngine>::Adopt(new CScannerEngine(engines));
    }

    // IUnknown, shared by every interface
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }

    // IScannerEngine
    bool CreateScanner(const SScanRequest* request, IScanner** out) override;

    // IPageStatusCallback (the page manager's or the downloader's thread): each posts its operation.
    void OnPageComplete(IWebFile* file) override;
    void OnPageFailed(IWebFile* file) override;
    void OnPageWaiting(IWebFile* file) override;

    // For tests: how many scanners the list holds (engine thread, or after the engine has ended).
    size_t ScannerCount() const { return scanners_.size(); }

protected:
    ~CScannerEngine() override;
    void OnStart() override;
    void OnStop() override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;
    void OnTimer(TIMER_INFO* timer) override;

private:
    // What a waiting caller of CreateScanner hands over: its request and where the scanner goes.
    struct SCreateTask {
        const SScanRequest* request;
        IScanner** out;
    };
    bool DoCreate(const SScanRequest* request, IScanner** out);
    void DoClose(IScanner* scanner);
    void Route(uint32_t code, IWebFile* file);
    void PostWebFile(uint32_t code, IWebFile* file);

    IEngineMgr* engines_;
    std::vector<RefPtr<IScanner>> scanners_;  // engine thread only
    TIMER_INFO* timer_ = nullptr;
};

}  // namespace plover
