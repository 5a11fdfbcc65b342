#pragma once
// CBasketEngine: watches the downloads that baskets started. It keeps the download history's
// queue register up to date (every basket download in the list is queued), retires basket
// downloads from the list when they end (a finished one's file stays; a failed one's partial
// file is deleted by the download), and tells the registered basket windows of every file that
// arrives (message 0x8462 with a new std::string of the path; the window deletes it).
//
// Start: finds the downloader through the engine manager, advises it, asks it to load the
// download list and enters every basket download of the list in the queue register; a basket
// download that already ended (finished or failed while no basket engine ran) is retired as if
// it had just ended. Stop: unadvises and lets the downloader go.
//
// The sink runs on the notifying thread: "added" queues the download (basket downloads only),
// "removed" takes it out of the queue register (any download), and a status, super-status or
// progress change of a basket download posts event 901 with a reference, so that retiring and
// the window messages run on the engine's own thread, which alone touches the window list.
#include <cstdint>
#include <vector>

#include "baskets/download_db.h"
#include "download/i_downloader.h"
#include "engine/engine.h"
#include "engine/engine_mgr.h"

namespace plover {

inline constexpr GUID IID_IBasketEngine = MakeGuid("3B7C1E52-6A0D-4F0B-8E63-2D9A41C7B0E5");

// The basket engine's block of operations.
enum EBasketEngineOp : uint32_t {
    BOP_RETIRE = 901,             // record RefPtr<IDownload>, value = the event code
    BOP_REGISTER_WINDOW = 902,    // record HWND
    BOP_UNREGISTER_WINDOW = 903,  // record HWND
    BOP_SYNC = 904,               // nothing: a waiting post returns once the start has run
};

// To every registered basket window: a file has arrived. wp = new std::string (the path).
constexpr uint32_t WM_PV_BASKET_FILE_ARRIVED = 0x8462;

struct IBasketEngine : IUnknown {
    virtual void RegisterWindow(HWND window) = 0;
    virtual void UnregisterWindow(HWND window) = 0;

protected:
    ~IBasketEngine() = default;
};

class CBasketEngine final : public CEngine, public INetAdviseSink, public IBasketEngine {
public:
    // engines: where the downloader is found; db: the history whose queue register is kept.
    explicit CBasketEngine(IEngineMgr* engines = GetEngineMgr(), CDownloadDB* db = &GetDownloadDB());
    static RefPtr<CBasketEngine> Create(IEngineMgr* engines = GetEngineMgr(), CDownloadDB* db = &GetDownloadDB()) {
        return RefPtr<CBasketEngine>::Adopt(new CBasketEngine(engines, db));
    }

    // IUnknown, shared by every interface
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }

    // IBasketEngine
    void RegisterWindow(HWND window) override;
    void UnregisterWindow(HWND window) override;

    // INetAdviseSink (any thread)
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

    // Waits until the engine has started (the list is loaded and queued). False when it has ended.
    bool WaitUntilStarted();

protected:
    ~CBasketEngine() override;
    void OnStart() override;
    void OnStop() override;
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;

private:
    void Retire(uint32_t code, IDownload* download);
    void QueueDownload(IDownload* download);
    void PostRetire(uint32_t code, RefPtr<IDownload> download);

    IEngineMgr* engines_;
    CDownloadDB* db_;
    RefPtr<IDownloader> downloader_;  // engine thread
    std::vector<HWND> windows_;       // engine thread only
};

// Whether a download has ended the way the basket engine retires it: finished, or its status in
// the failure class.
bool IsRetirable(IDownload* download);

}  // namespace plover
