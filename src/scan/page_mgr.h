#pragma once
// CPageMgr: the page manager engine (see i_page_mgr.h for its interface). Requests (802) answer
// from the cache or start a fetch (803) through the downloader on its thread (client number 4,
// added running with its target file confirmed, one section, the whole-file flag, the site's
// stored login, into a new "srch" file of the cache folder; a refused addition comes back as 805).
// The downloader's state-change notices of its downloads end each fetch as they are told, on the
// downloader's thread (the ended download is removed from its list next); PMOP_MOVE_CACHE moves
// the cache.
//
// The cache: the folder named by csCacheFolder (read at start; MoveCacheFiles changes it), the
// index of its rows (cache_index.h), loaded at start from "PVCache.pvc" (a refused file leaves
// the index empty; whenever the file existed the cache's own files that the index does not name
// are swept) and saved at stop. Every 10 s the space check evicts the oldest rows (and their
// files) until the total is within iMaxCacheSpace megabytes. eCacheMode decides what a request
// does with a stored copy (page_mgr_rules.h).
//
// The index, the cache folder and the in-flight list are guarded by one lock, so that ClearCache
// and the getters can run on any thread; the lock is never held while a callback or the
// downloader is called. The getters wait until the index of the last run has been loaded.
//
// A fetch ends for its web file when the download finishes ("Finished" with bytes, or "Not
// modified"), fails (a failed status; "Finished" with no bytes; "Wait for user" for any reason
// but a login), or leaves the downloader's list (deleted by Cancel or by the user): every web file
// waiting for that download hears it, so two requests for the same address share one fetch.
// A fetch whose address already has a row replaces the row's copy (the old file is deleted).
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "download/i_download.h"
#include "download/i_downloader.h"
#include "engine/engine.h"
#include "engine/engine_mgr.h"
#include "scan/cache_index.h"
#include "scan/i_page_mgr.h"
#include "scan/page_mgr_rules.h"
#include "scan/web_file.h"

namespace plover {

// The client number of the page manager's downloads.
constexpr int kPageMgrClientID = 4;
// The space check's period.
constexpr uint32_t kSpaceCheckMs = 10000;

class CPageMgr final : public CEngine, public IPageMgr, public INetAdviseSink {
public:
    // engines: where the downloader is found at start (the process-wide manager by default).
    explicit CPageMgr(IEngineMgr* engines = GetEngineMgr());
    static RefPtr<CPageMgr> Create(IEngineMgr* engines = GetEngineMgr()) {
        return RefPtr<CPageMgr>::Adopt(new CPageMgr(engines));
    }

    // IUnknown, shared by every interface
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }

    // IEngine: also lets the getters wait for the index.
    void Start() override;

    // IPageMgr
    bool RequestFile(const std::string& url, const std::string& referrer, bool reload, IPageStatusCallback* callback,
                     IWebFile** out) override;
    bool MoveCacheFiles(const std::string& folder) override;
    void ClearCache() override;
    int GetCachedCount() override;
    uint64_t GetCacheSize() override;
    int GetPendingCount() override;

    // INetAdviseSink: turns the state changes (and removals) of client-4 downloads into 801.
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

    std::string GetCacheFolder();
    // Blocks until the start-up load of the index has run (at once when the engine was never
    // started). What that load made of the index file:
    void WaitUntilLoaded();
    ECacheIndexLoad GetLoadResult();
    // A copy of the index, for the command line's listing and for tests.
    CCacheIndex SnapshotIndex();
    // Runs the space check now (the timer's work), for tests.
    void CheckSpaceNow();

protected:
    ~CPageMgr() override;
    void OnStart() override;
    void OnStop() override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;
    void OnTimer(TIMER_INFO* timer) override;

private:
    // A request on its way to the page manager's thread. One that is never taken up (the page
    // manager has stopped) fails its web file when the record goes.
    struct SRequestTask {
        explicit SRequestTask(RefPtr<CWebFile> f) : file(std::move(f)) {}
        SRequestTask(const SRequestTask&) = delete;
        SRequestTask& operator=(const SRequestTask&) = delete;
        ~SRequestTask();
        RefPtr<CWebFile> file;
        bool taken = false;
        std::string madePath;  // a refused fetch: the empty cache file made for it
        bool again = false;    // a refused fetch: it was the second try
    };
    void DoRequest(CWebFile* file);
    bool AnswerFromCache(CWebFile* file);
    void Fetch(CWebFile* file, bool again = false);
    void DoStartFetch(CWebFile* file, bool again);
    void DoFetchRefused(SRequestTask& task);
    // A state change of one of our downloads, judged as it is told.
    struct SDownloadEvent {
        RefPtr<IDownload> download;
        DownloadStatus status = DS_NONE;
        SFetchOutcome outcome;
    };
    void DoDownloadEvent(const SDownloadEvent& event);
    void RecordFinished(CWebFile* file, IDownload* download);
    bool DoMove(const std::string& folder);
    void SpaceCheck();
    void LoadIndex();
    void SaveIndex();
    void RemoveRowAndFile(int row);
    void EndFetch(CWebFile* file);
    std::vector<RefPtr<CWebFile>> TakeInFlight(IDownload* download, bool remove);
    bool ShareFetch(CWebFile* file);
    void MarkLoaded();

    IEngineMgr* engines_;
    RefPtr<IDownloader> downloader_;  // engine thread only
    TIMER_INFO* timer_ = nullptr;

    CCriticalSection lock_;  // guards everything below
    CCacheIndex index_;
    std::string cacheFolder_;
    std::vector<RefPtr<CWebFile>> inFlight_;
    ECacheIndexLoad loadResult_ = ECacheIndexLoad::Loaded;

    std::mutex loadedLock_;
    std::condition_variable loadedCv_;
    bool started_ = false;
    bool loaded_ = false;
};

}  // namespace plover
