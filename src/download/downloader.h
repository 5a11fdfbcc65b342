#pragma once
// CDownloader: the one downloader engine of the process (see i_downloader.h for its interface).
//
// Everything that changes the list runs on the engine's thread: adding, the scheduling pass,
// the operations downloads post, loading and saving, import and export. The scheduling pass puts
// every download that may run into one of eleven buckets by priority and serves them from 10 down
// to 0 (list order within a bucket) while fewer than dwMaxDownloads of the traffic mode are busy;
// priority 10 always runs. Each pass starts at most one worker per download; downloads beyond the
// limit have all their workers stopped.
//
// A 3000 ms housekeeping timer checks every worker's time-out, retries downloads that have sat
// in "Temporarily unavailable" for more than 30 s, and saves the list every dwAutoSaveTime
// seconds (through the save filter, the same as at stop), so that a crash loses at most that
// much progress; it ends with a scheduling pass, which starts the next attempt of a download
// whose pause after a failed attempt has passed. A download that the save filter keeps is written
// to the list file also just before it creates its target file, so no file of a download exists
// without its record. Stopping the engine removes every download (workers stopped, files closed),
// saves the list through the save filter and destroys the list.
//
// Reschedule requests coalesce: while a pass is queued and has not begun, further requests add
// nothing (the queued pass sees their changes).
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "download/download_filter.h"
#include "download/download_list.h"
#include "download/download_status.h"
#include "download/i_downloader.h"
#include "engine/engine.h"

namespace plover {

struct SDnlOp;

// The front end's download view, which answers the view refresh (event 117): its current filter
// and the window that receives the array (message 0x8068).
inline constexpr GUID IID_IDownloadView = MakeGuid("33896437-F1AC-436D-B510-C480A0480FCC");
struct IDownloadView : IUnknown {
    virtual DownloadFilterList GetViewFilter() = 0;
    virtual HWND GetViewWindow() = 0;

protected:
    ~IDownloadView() = default;
};
// The process-wide view (a reference is held); null clears it. Without one a refresh does nothing.
void SetDownloadView(IDownloadView* view);

// The file name of the list in the data folder.
inline constexpr const char* kListFileName = "Default.fll";

// The save filter that the front end installs: basket downloads (client 1000 to 1999) and the
// user's own downloads by address (client 1) are kept; page-cache fetches are not.
uint8_t DefaultSaveFilter(IDownload* download);
// Installs DefaultSaveFilter on a newly registered downloader engine (the start-up's hook).
void InstallSaveFilter(IEngine* downloader);

// Whether the downloads of a list file are loaded held (SetHeld): the scheduling pass starts
// nothing for a held download until it is resumed or retried. A front end that runs only the
// downloads it is asked for (plover get) sets this before the engines start, so that the others
// never run and keep their state in the list as it was. Off by default: a loaded list runs.
void HoldLoadedDownloads(bool hold);

// Whether the scheduling pass starts no worker at all (every running one is stopped). A front end
// that only changes the saved list (plover list pause, resume, retry) sets it before the engines
// start: a download it lets go changes its state in the list without fetching anything.
void KeepDownloadsAtRest(bool rest);

// The client number of the page cache's fetches.
inline constexpr int kPageCacheClient = 4;

// Whether a download already in the list keeps out a new one of the same address (the
// downloader adds one download of an address at a time). One that has ended well ("Finished",
// "Not modified") keeps nothing out: its file is on disk, and a new download of the address is
// meant for another place (a basket, the page cache). The page cache's fetches and all other
// downloads never keep each other out: they fetch into different files for different purposes.
bool KeepsOutSameAddress(int listedClient, DownloadStatus listedStatus, int newClient);

// Whether a download beyond the traffic mode's limit keeps its worker until its answer is in: a
// page cache fetch of one section whose request has gone out. Stopped, its kept connection
// would be closed with the answer on its way and the page asked again on a new one.
bool FinishesPastTheLimit(int client, bool singleSection, int workers, uint32_t workerState);

// Whether an address line of an import file is taken: an HTTP or FTP address without "mailto:".
bool IsImportableAddress(const std::string& line);

// Makes the download for a configuration that the downloader adds (CDownload by default; tests
// put scripted downloads in its place).
using DownloadFactoryFn = RefPtr<IDownload> (*)(const SDownloadConfig& config, IDownloader* owner);

class CDownloader final : public CEngine, public IDownloader {
public:
    // The list path starts as "Default.fll" in `dataFolder` (empty: no list path).
    explicit CDownloader(const std::string& dataFolder = std::string());
    static RefPtr<CDownloader> Create(const std::string& dataFolder) {
        return RefPtr<CDownloader>::Adopt(new CDownloader(dataFolder));
    }

    // IUnknown, shared by IEngine and IDownloader
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }

    // IDownloader
    int GetDownloadCount() override;
    int GetFinishedCount() override { return finished_.load(); }
    int GetActiveCount() override { return active_.load(); }
    int GetPausedCount() override { return paused_.load(); }
    int GetFailedCount() override { return failed_.load(); }
    int GetUseCount() override { return uses_.load(); }
    void Reschedule() override;
    void Notify(uint32_t code, uintptr_t value1, uintptr_t value2) override;
    void LoadList(const char* path) override;
    void SaveList(const char* path) override;
    bool Advise(INetAdviseSink* sink) override;
    bool Unadvise(INetAdviseSink* sink) override;
    uint8_t HasAutoRetryDownloads() override { return autoRetry_.load(); }
    void ExportUrls(const char* path) override;
    void ImportUrls(const char* path) override;
    void AddUse() override { ++uses_; }
    void ReleaseUse() override { --uses_; }
    bool GetDownload(int index, IDownload** out) override;
    void AddDownload(SDownloadConfig* config, int* idOut, IDownload** out) override;
    void AddDownloadThen(SDownloadConfig* config, std::function<void(IDownload*)> added) override;
    void AddUrl(const char* url, uint8_t paused) override;
    bool FindDownloadByID(int id, IDownload** out) override;
    void RefreshView() override;
    void PostDownloadArray(HWND window, DownloadFilterFn filter) override;
    CDownloadArray* GetDownloadArray(DownloadFilterFn filter) override;
    int GetFreeID() override;
    void SetSaveFilter(DownloadFilterFn filter) override { saveFilter_.store(filter); }

    std::string GetListPath() const;
    void SetListPath(const std::string& path);
    bool HasList() const;
    int GetHeldCount() const { return held_.load(); }
    // Call before Start.
    void SetDownloadFactory(DownloadFactoryFn factory) { factory_ = factory; }

protected:
    ~CDownloader() override;
    void OnStart() override;
    void OnStop() override;
    uint32_t OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) override;
    void OnTimer(TIMER_INFO* timer) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;

private:
    struct SAddResult;
    struct SAddTask;

    uint32_t Run(uint32_t code, uintptr_t arg1, uintptr_t arg2);
    void DoAdd(SAddTask& task);
    void DoMove(SMoveRequest* request);
    void DoSchedulePass();
    void DoUpdateCategories();
    void DoImport(const std::string& path);
    void DoLoadList(const std::string& path);
    void DoSaveList(const std::string& path, bool drop);
    void DoRefreshView();
    void DoOperation(SDnlOp* op);
    uint32_t DoFind(IDownload** out, int id);
    void DoDelete(uint32_t mode);
    CDownloadArray* DoArray(DownloadFilterFn filter);
    void Housekeeping();
    void RetireList();
    bool SaveThroughFilter();
    // NE_FILE_CREATING: the list file gets the download's record before its file is made.
    void SaveBeforeFile(IDownload* download);
    void PostPath(uint32_t code, const char* path, uintptr_t arg2 = 0);
    // The download of the list that keeps out a new one of the address for the client.
    RefPtr<IDownload> FindKeepingOut(const std::string& url, int client);

    std::shared_ptr<CDownloadList> List() const;
    void ReplaceList(std::shared_ptr<CDownloadList> list);
    std::vector<RefPtr<IDownload>> Downloads() const;

    std::atomic<int> finished_{0}, active_{0}, paused_{0}, failed_{0}, held_{0};
    std::atomic<int> uses_{0};
    std::atomic<uint8_t> autoRetry_{0};
    std::atomic<bool> passQueued_{false};
    std::atomic<DownloadFilterFn> saveFilter_{nullptr};

    mutable std::mutex listLock_;  // guards the pointer only; the list guards its entries
    std::shared_ptr<CDownloadList> list_;

    CCriticalSection sinkLock_;
    CInterfaceArray<INetAdviseSink> sinks_;

    mutable std::mutex pathLock_;
    std::string listPath_;

    std::atomic<CDownloadList*> loading_{nullptr};  // the list being loaded (its IDs are taken)
    std::string loadedFrom_;                        // engine thread: the file the list came from
    DownloadFactoryFn factory_ = nullptr;
    TIMER_INFO* timer_ = nullptr;
    uint32_t lastAutoSave_ = 0;
};

}  // namespace plover
