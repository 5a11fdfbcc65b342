#include "download/downloader.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "download/categories.h"
#include "download/download.h"
#include "download/i_download.h"
#include "download/i_leech.h"
#include "download/reloc_info.h"
#include "download/server_connections.h"
#include "download/traffic.h"
#include "download/url_name.h"
#include "net/openssl_library.h"
#include "platform/homes.h"
#include "platform/tick.h"
#include "platform/url_split.h"

namespace plover {
namespace {

constexpr uint32_t kHousekeepingMs = 3000;
constexpr uint32_t kUnavailableRetryMs = 30000;
constexpr int kPriorities = 11;

std::mutex g_viewLock;
RefPtr<IDownloadView> g_view;
std::atomic<bool> g_holdLoaded{false};
std::atomic<bool> g_atRest{false};

bool AnswerOnTheWay(IDownload* d) {
    int workers = d->GetLeechCount();  // most downloads waiting beyond the limit have none: no lock taken
    RefPtr<ILeech> worker;
    if (workers == 0 || !d->GetLeech(0, worker.Put()) || !worker) return false;
    const SDownloadConfig* config = d->GetConfig();
    return FinishesPastTheLimit(d->GetClientID(), config && config->SingleSection, workers, worker->GetState());
}

RefPtr<IDownloadView> CurrentView() {
    std::lock_guard g(g_viewLock);
    return g_view;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The default download folder; when it does not exist the system's temporary folder is stored
// into the setting and used.
std::string DefaultDownloadFolder() {
    CRegistrySettings& s = GetSettings();
    if (!IsFolder(s.csDefDownloadFolder)) s.csDefDownloadFolder = GetSystemTempFolder().string();
    return s.csDefDownloadFolder;
}

std::string TrimLine(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    return start == std::string::npos ? std::string() : line.substr(start);
}

bool SameServer(IDownload* a, const std::string& server) {
    return strcasecmp(a->GetServer().c_str(), server.c_str()) == 0;
}

// Whether a login given for another download of the same server should reach this one: it is
// not working, not finished, and either waits for a login or has not failed. A finished download
// or one that failed for another reason is left as it stands.
bool TakesSharedLogin(IDownload* d) {
    if (d->IsBusy() || d->IsFinished()) return false;
    if (d->GetSuperStatus() == DS_UNAUTHORIZED || d->GetStatus() == DS_UNAUTHORIZED) return true;
    return !d->IsFailed();
}

}  // namespace

void SetDownloadView(IDownloadView* view) {
    RefPtr<IDownloadView> old;
    std::lock_guard g(g_viewLock);
    old = std::move(g_view);
    g_view = RefPtr<IDownloadView>(view);
}

void HoldLoadedDownloads(bool hold) { g_holdLoaded.store(hold); }
void KeepDownloadsAtRest(bool rest) { g_atRest.store(rest); }

uint8_t DefaultSaveFilter(IDownload* download) {
    int client = download->GetClientID();
    return (client == 1 || (client >= 1000 && client <= 1999)) ? 1 : 0;
}

void InstallSaveFilter(IEngine* downloader) {
    if (auto d = QueryAs<IDownloader>(downloader, IID_IDownloader)) d->SetSaveFilter(DefaultSaveFilter);
}

bool KeepsOutSameAddress(int listedClient, DownloadStatus listedStatus, int newClient) {
    if (listedStatus == DS_FINISHED || listedStatus == DS_NOT_MODIFIED) return false;
    return (listedClient == kPageCacheClient) == (newClient == kPageCacheClient);
}

bool FinishesPastTheLimit(int client, bool singleSection, int workers, uint32_t workerState) {
    return client == kPageCacheClient && singleSection && workers == 1 &&
           (workerState == LEECH_REQUEST_SENT || workerState == LEECH_RECEIVING);
}

bool IsImportableAddress(const std::string& line) {
    if (line.find("mailto:") != std::string::npos) return false;
    SUrlParts parts;
    if (!SplitUrl(line, parts)) return false;
    return parts.service == kServiceHttp || parts.service == kServiceHttps || parts.service == kServiceFtp;
}

struct CDownloader::SAddResult {
    int id = -1;
    RefPtr<IDownload> download;
};

// The record of an addition: the configuration, and where a waiting caller wants the answer.
// With `added`, the caller is told the outcome instead: on the downloader's thread when the task
// runs, or when the record goes unrun (the downloader has stopped) with nothing added.
struct CDownloader::SAddTask {
    SAddTask(std::unique_ptr<SDownloadConfig> c, SAddResult* r, std::function<void(IDownload*)> a = {})
        : config(std::move(c)), result(r), added(std::move(a)) {}
    SAddTask(const SAddTask&) = delete;
    SAddTask& operator=(const SAddTask&) = delete;
    ~SAddTask() { Tell(nullptr); }
    void Tell(IDownload* download) {
        if (auto then = std::exchange(added, nullptr)) then(download);
    }
    std::unique_ptr<SDownloadConfig> config;
    SAddResult* result = nullptr;
    std::function<void(IDownload*)> added;
};

CDownloader::CDownloader(const std::string& dataFolder) {
    std::string folder = dataFolder.empty() ? GetProgramFolder() : dataFolder;
    if (!folder.empty()) {
        if (folder.back() != '/') folder += '/';
        listPath_ = folder + kListFileName;
    }
}

CDownloader::~CDownloader() = default;

HRESULT CDownloader::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IDownloader) {
        *out = static_cast<IDownloader*>(this);
        AddRef();
        return S_OK;
    }
    return CEngine::QueryInterface(iid, out);
}

// ---- the list pointer ----

std::shared_ptr<CDownloadList> CDownloader::List() const {
    std::lock_guard g(listLock_);
    return list_;
}

void CDownloader::ReplaceList(std::shared_ptr<CDownloadList> list) {
    std::shared_ptr<CDownloadList> old;
    {
        std::lock_guard g(listLock_);
        old = std::move(list_);
        list_ = std::move(list);
    }
    old.reset();  // destroyed outside the lock: it notifies every download's removal
}

bool CDownloader::HasList() const { return List() != nullptr; }

std::vector<RefPtr<IDownload>> CDownloader::Downloads() const {
    auto list = List();
    return list ? list->Snapshot() : std::vector<RefPtr<IDownload>>{};
}

std::string CDownloader::GetListPath() const {
    std::lock_guard g(pathLock_);
    return listPath_;
}

void CDownloader::SetListPath(const std::string& path) {
    std::lock_guard g(pathLock_);
    listPath_ = path;
}

// ---- IDownloader ----

int CDownloader::GetDownloadCount() {
    auto list = List();
    return list ? list->GetCount() : 0;
}

bool CDownloader::GetDownload(int index, IDownload** out) {
    auto list = List();
    if (!list || !out) return false;
    return list->Get(index, out);
}

void CDownloader::Reschedule() {
    if (passQueued_.exchange(true)) return;
    Post(DOP_SCHEDULE, 0, 0, false, false);
}

void CDownloader::Notify(uint32_t code, uintptr_t value1, uintptr_t value2) {
    {
        CAutoCriticalSection g(sinkLock_);
        for (INetAdviseSink* sink : sinks_) sink->OnNetNotify(code, value1, value2);
    }
    if (code == NE_DIALUP_ESTABLISHED)
        Post(DOP_RETRY_AUTO, 0, 0, false, false);
    else if (code == NE_PROXY_CHANGED)
        Post(DOP_RETRY_CONNECTING, 0, 0, false, false);
    else if (code == NE_CATEGORIES && value1 == CATEGORIES_CHANGED)
        Post(DOP_UPDATE_CATEGORIES, 0, 0, false, false);
    else if (code == NE_FILE_CREATING)
        SaveBeforeFile(reinterpret_cast<IDownload*>(value1));
}

void CDownloader::SaveBeforeFile(IDownload* download) {
    // Downloads create their files on this thread (their workers' events are delivered here), so
    // the list is written before the file exists; a list being loaded is not written over.
    if (!download || !IsEngineThread() || loading_.load()) return;
    DownloadFilterFn filter = saveFilter_.load();
    if (filter && !filter(download)) return;
    auto list = List();
    if (!list || list->IndexOf(download) < 0) return;
    SaveThroughFilter();
}

bool CDownloader::Advise(INetAdviseSink* sink) {
    if (!sink) return false;
    CAutoCriticalSection g(sinkLock_);
    for (INetAdviseSink* s : sinks_)
        if (s == sink) return false;
    sinks_.Add(sink);
    return true;
}

bool CDownloader::Unadvise(INetAdviseSink* sink) {
    CAutoCriticalSection g(sinkLock_);
    for (size_t i = 0; i < sinks_.GetSize(); ++i)
        if (sinks_[i] == sink) {
            sinks_.RemoveAt(i);
            return true;
        }
    return false;
}

void CDownloader::PostPath(uint32_t code, const char* path, uintptr_t arg2) {
    PostOwned(this, code, std::make_unique<std::string>(path), arg2);
}

void CDownloader::LoadList(const char* path) {
    std::string p = path ? std::string(path) : GetListPath();
    if (p.empty()) return;
    PostPath(DOP_LOAD_LIST, p.c_str());
}

void CDownloader::SaveList(const char* path) {
    if (!HasList()) return;
    std::string p = path ? std::string(path) : GetListPath();
    if (p.empty()) return;
    PostPath(DOP_SAVE_LIST, p.c_str(), 0);
}

void CDownloader::ExportUrls(const char* path) {
    if (HasList() && path && *path) PostPath(DOP_EXPORT, path);
}

void CDownloader::ImportUrls(const char* path) {
    if (HasList() && path && *path) PostPath(DOP_IMPORT, path);
}

void CDownloader::AddDownload(SDownloadConfig* config, int* idOut, IDownload** out) {
    if (!config) return;
    std::unique_ptr<SDownloadConfig> owned(config);
    if (!idOut && !out) {
        PostOwned(this, DOP_ADD_DOWNLOAD, std::make_unique<SAddTask>(std::move(owned), nullptr));
        return;
    }
    SAddResult result;
    auto task = std::make_unique<SAddTask>(std::move(owned), &result);
    if (IsEngineThread())
        DoAdd(*task);
    else
        PostOwned(this, DOP_ADD_DOWNLOAD, std::move(task), 0, true);
    if (idOut) *idOut = result.id;
    if (out) *out = result.download.Detach();
}

void CDownloader::AddDownloadThen(SDownloadConfig* config, std::function<void(IDownload*)> added) {
    auto task = std::make_unique<SAddTask>(std::unique_ptr<SDownloadConfig>(config), nullptr, std::move(added));
    if (task->config) PostOwned(this, DOP_ADD_DOWNLOAD, std::move(task));
}

void CDownloader::AddUrl(const char* url, uint8_t paused) {
    if (!url) return;
    // The list arrives with the first load; an engine that has stopped will never have one.
    while (!HasList()) {
        if (!IsRunning()) return;
        SleepMs(10);
    }
    std::string address = url;
    size_t dot = address.rfind('.');
    if (dot == std::string::npos) return;
    SUrlParts parts;
    if (!SplitUrl(address, parts)) return;

    auto* config = new SDownloadConfig();
    const SCategoryProp* category = CategoryForExtension(GetCategories(), address.substr(dot + 1));
    config->LocalFolder = category ? category->folder : DefaultDownloadFolder();
    config->URL_original = address;
    config->URL_remote = address;  // the download splits it and rebuilds its canonical form
    config->ClientID = 1;
    config->StartMode = paused ? START_PAUSED : START_RUN;
    AddDownload(config, nullptr, nullptr);
}

bool CDownloader::FindDownloadByID(int id, IDownload** out) {
    if (!out) return false;
    *out = nullptr;
    if (IsEngineThread()) return DoFind(out, id) != 0;
    // The caller waits: the record points at its answer.
    return PostOwned(this, DOP_FIND_BY_ID, std::make_unique<IDownload**>(out), uintptr_t(uint32_t(id)), true) != 0;
}

void CDownloader::RefreshView() { Post(DOP_REFRESH_VIEW, 0, 0, false, false); }

void CDownloader::PostDownloadArray(HWND window, DownloadFilterFn filter) {
    PostOwned(this, DOP_DOWNLOAD_ARRAY, std::make_unique<SArrayRequest>(SArrayRequest{filter, nullptr, window}));
}

CDownloadArray* CDownloader::GetDownloadArray(DownloadFilterFn filter) {
    if (IsEngineThread()) return DoArray(filter);
    CDownloadArray* result = nullptr;
    PostOwned(this, DOP_DOWNLOAD_ARRAY, std::make_unique<SArrayRequest>(SArrayRequest{filter, &result, nullptr}), 0,
              true);
    return result;
}

int CDownloader::GetFreeID() {
    auto items = Downloads();
    if (CDownloadList* loading = loading_.load()) {
        auto more = loading->Snapshot();
        items.insert(items.end(), more.begin(), more.end());
    }
    std::vector<bool> taken(items.size() + 1, false);
    for (auto& d : items) {
        int id = d->GetID();
        if (id >= 0 && size_t(id) < taken.size()) taken[size_t(id)] = true;
    }
    size_t i = 0;
    while (i < taken.size() && taken[i]) ++i;
    return int(i);
}

// ---- engine hooks ----

void CDownloader::OnStart() {
    timer_ = StartTimer(kHousekeepingMs);
    lastAutoSave_ = GetTickCount();
}

void CDownloader::OnStop() {
    if (timer_) StopTimer(timer_);
    timer_ = nullptr;
    auto list = List();
    if (!list) return;
    for (auto& d : list->Snapshot()) d->Remove();
    // The workers' TLS sessions are closed: OpenSSL's state of this thread goes now, not at the
    // thread's exit, which may come after the process has ended.
    StopOpenSslOnThisThread();
    std::string path = GetListPath();
    if (!path.empty() && list->Save(path, saveFilter_.load()))
        Notify(NE_LOG, reinterpret_cast<uintptr_t>(path.c_str()), LOG_LIST_SAVED);
    list.reset();
    ReplaceList(nullptr);
}

void CDownloader::OnTimer(TIMER_INFO* timer) {
    if (timer == timer_) Housekeeping();
}

uint32_t CDownloader::OnOperation(uint32_t code, uintptr_t arg1, uintptr_t arg2) { return Run(code, arg1, arg2); }

uint32_t CDownloader::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) {
    switch (code) {
        case DOP_ADD_DOWNLOAD:
            if (SAddTask* task = record.Get<SAddTask>(); task && task->config) DoAdd(*task);
            return 0;
        case DOP_MOVE:
            if (SMoveRequest* request = record.Get<SMoveRequest>())
                DoMove(request);
            else if (SMoveRequest** borrowed = record.Get<SMoveRequest*>(); borrowed && *borrowed)
                DoMove(*borrowed);
            return 0;
        case DOP_IMPORT:
        case DOP_LOAD_LIST:
        case DOP_SAVE_LIST:
        case DOP_EXPORT: {
            const std::string* path = record.Get<std::string>();
            if (!path) return 0;
            if (code == DOP_IMPORT) DoImport(*path);
            if (code == DOP_LOAD_LIST) DoLoadList(*path);
            if (code == DOP_SAVE_LIST) DoSaveList(*path, value != 0);
            if (code == DOP_EXPORT)
                if (auto list = List()) list->ExportAddresses(*path);
            return 0;
        }
        case DOP_DOWNLOAD_OP:
            if (SDnlOp* op = record.Get<SDnlOp>()) DoOperation(op);
            return 0;
        case DOP_FIND_BY_ID: {
            IDownload*** out = record.Get<IDownload**>();
            return out ? DoFind(*out, int(uint32_t(value))) : 0;
        }
        case DOP_RELOCATED: {
            std::unique_ptr<CRelocInfo> request = record.Take<CRelocInfo>();
            RefPtr<IDownload> d = request ? request->download : RefPtr<IDownload>();
            if (d) d->OnRelocated(request.release());  // the download destroys the request
            return 0;
        }
        case DOP_RELOCATION_PROGRESS:
            if (SRelocProgress* progress = record.Get<SRelocProgress>(); progress && progress->download)
                progress->download->SetTraffic(progress->done, progress->total);
            return 0;
        case DOP_DOWNLOAD_ARRAY:
            if (SArrayRequest* request = record.Get<SArrayRequest>()) {
                CDownloadArray* array = DoArray(request->filter);
                if (request->result)
                    *request->result = array;
                else if (!request->window || !PostMessage(request->window, WM_PV_DOWNLOAD_ARRAY, reinterpret_cast<WPARAM>(array), 0))
                    delete array;
            }
            return 0;
        default: return 0;
    }
}

uint32_t CDownloader::Run(uint32_t code, uintptr_t arg1, uintptr_t) {
    switch (code) {
        case DOP_RETRY_AUTO:
            for (auto& d : Downloads())
                if (IsFailedStatus(d->GetStatus()) && StatusHas(d->GetStatus(), DSF_AUTO_RETRY)) d->Retry(0);
            return 0;
        case DOP_SCHEDULE: DoSchedulePass(); return 0;
        case DOP_UPDATE_CATEGORIES: DoUpdateCategories(); return 0;
        case DOP_REFRESH_VIEW: DoRefreshView(); return 0;
        case DOP_RETRY_CONNECTING:
            for (auto& d : Downloads())
                if (d->GetStatus() == DS_CONNECTING) d->Retry(1);
            return 0;
        case DOP_HOLD_AUTO_RETRY:
            for (auto& d : Downloads())
                if (StatusHas(d->GetStatus(), DSF_AUTO_RETRY)) d->SetHeld(1);
            return 0;
        case DOP_DELETE: DoDelete(uint32_t(arg1)); return 0;
        default: return 0;
    }
}

// ---- the operations ----

RefPtr<IDownload> CDownloader::FindKeepingOut(const std::string& url, int client) {
    for (auto& d : Downloads())
        if (d->GetRemoteUrl() == url && KeepsOutSameAddress(d->GetClientID(), d->GetStatus(), client)) return d;
    return {};
}

void CDownloader::DoAdd(SAddTask& task) {
    SDownloadConfig* config = task.config.get();
    SAddResult* result = task.result;
    auto list = List();
    if (!config || config->ClientID == -1 || !list) return;
    if (FindKeepingOut(config->URL_remote, config->ClientID)) return;
    RefPtr<IDownload> d = factory_ ? factory_(*config, this) : RefPtr<IDownload>(CDownload::Create(*config, this).Get());
    if (!d) return;
    // The new download holds the rebuilt form of the address: a configuration that spelled an
    // address already in the list differently is a duplicate too.
    if (config->URL_remote != d->GetRemoteUrl() && FindKeepingOut(d->GetRemoteUrl(), config->ClientID)) {
        d->Notify(NE_DOWNLOAD_REMOVED, reinterpret_cast<uintptr_t>(d.Get()), 0);
        return;
    }
    task.Tell(d.Get());  // before the list tells anyone of it
    list->Add(d.Get());
    if (config->StartMode == START_SCHEDULED) d->SetSuperStatus(DS_SCHEDULED);
    if (config->StartMode == START_SCHEDULED || config->StartMode == START_PAUSED) {
        // Paused here and now, not by a posted operation: a pass queued before this one would
        // otherwise start the download (and spend a kept connection) just to stop it again.
        SDnlOp pause(DNLOP_PAUSE);
        pause.download = d;
        DoOperation(&pause);
    }
    Reschedule();
    if (result) {
        result->id = d->GetID();
        result->download = d;
    }
}

void CDownloader::DoMove(SMoveRequest* request) {
    auto list = List();
    if (!list || !list->Move(request)) return;
    Notify(NE_ORDER_CHANGED, reinterpret_cast<uintptr_t>(request), 0);
    Reschedule();
}

void CDownloader::DoSchedulePass() {
    passQueued_.store(false);
    auto list = List();
    if (!list) return;

    std::vector<RefPtr<IDownload>> buckets[kPriorities];
    int previous = active_.load() + held_.load();
    int finished = 0, active = 0, paused = 0, failed = 0, held = 0, total = 0;
    uint8_t autoRetry = 0;

    // A long list is mostly paused, finished or failed downloads without a worker: they are
    // counted where they stand, and only the others are taken out to be worked on. A pass then
    // costs little per resting download, which matters when a front end pauses and resumes
    // hundreds of downloads a second.
    auto count = [&](IDownload* d) {
        if (d->IsPaused())
            ++paused;
        else if (d->IsFinished())
            ++finished;
        else if (StatusHas(d->GetStatus(), DSF_HELD) || d->IsHeld())
            ++held;
        else if (d->IsFailed())
            ++failed;
        else
            return false;
        return true;
    };
    auto items = list->Select([&](IDownload* d) {
        ++total;
        if (!autoRetry && d->IsAutoRetry()) autoRetry = 1;
        return d->GetLeechCount() != 0 || !count(d);
    });
    CServerConnections connections;
    for (auto& d : items) {
        d->RemoveStoppedLeeches();
        if (d->IsPaused()) {
            if (d->GetLeechCount()) d->StopAllLeeches();
            ++paused;
        } else if (d->IsFinished()) {
            ++finished;
        } else if (StatusHas(d->GetStatus(), DSF_HELD) || d->IsHeld()) {
            if (d->GetLeechCount()) d->StopAllLeeches();
            ++held;
        } else if (d->IsFailed()) {
            ++failed;
        } else {
            int p = d->GetConfig()->Prior;
            if (p >= 0 && p < kPriorities) buckets[p].push_back(d);
        }
        connections.Count(d->GetServer(), d->GetLeechCount());
    }

    int max = int(CurrentTrafficLimits().maxDownloads);
    const bool atRest = g_atRest.load();
    for (int p = kPriorities - 1; p >= 0; --p) {
        for (auto& d : buckets[p]) {
            if (!atRest && (active < max || p == kPriorities - 1)) {
                int want = d->GetSectionLimit(), have = d->GetLeechCount();
                if (have > want)
                    d->StopLeeches(have - want);
                else if (have < want && connections.HasRoom(d->GetServer()) && d->PlanSection())
                    connections.Count(d->GetServer(), 1);
                if (d->IsBusy()) ++active;
            } else if (AnswerOnTheWay(d.Get())) {
                ++active;  // it ends in a moment: nothing else starts in its place meanwhile
            } else {
                d->StopAllLeeches();
            }
        }
    }

    finished_ = finished;
    active_ = active;
    paused_ = paused;
    failed_ = failed;
    held_ = held;
    autoRetry_ = autoRetry;
    if (previous != 0 && active == 0 && total != 0 && held == 0 && paused == 0) PlaySettingsSound(kSoundQueueDone);
}

void CDownloader::DoUpdateCategories() {
    for (auto& d : Downloads()) d->UpdateCategory();
    Notify(NE_CATEGORIES, CATEGORIES_RECOMPUTED, 0);
}

void CDownloader::DoImport(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::string line;
    while (std::getline(in, line)) {
        line = TrimLine(line);
        if (IsImportableAddress(line)) AddUrl(line.c_str(), 0);
    }
}

void CDownloader::RetireList() {
    // The downloads of a list that is replaced stop their workers first: nothing may go on
    // writing for a download that is no longer in any list.
    for (auto& d : Downloads()) d->StopAllLeeches();
}

void CDownloader::DoLoadList(const std::string& path) {
    // Several parts of a run ask for the list at start (the basket engine, a command); the first
    // load wins. A second one of the same file would replace the downloads the others hold.
    if (List() && path == loadedFrom_) return;
    loadedFrom_ = path;
    auto fresh = std::make_shared<CDownloadList>();
    loading_ = fresh.get();
    SListLoad load;
    bool ok = fresh->Load(path, this, &load);
    loading_ = nullptr;
    RetireList();
    // A file that did not load completely is kept aside, never overwritten by the list that
    // replaces it (the downloads read from a cut file, or an empty list).
    KeepListFileAside(path, load);
    if (ok) {
        if (g_holdLoaded.load())
            for (auto& d : fresh->Snapshot()) d->SetHeld(1);
        SetListPath(path);
        ReplaceList(std::move(fresh));
        Reschedule();
        Notify(NE_LOG, reinterpret_cast<uintptr_t>(path.c_str()), LOG_LIST_LOADED);
        return;
    }
    fresh.reset();
    ReplaceList(nullptr);
    ReplaceList(std::make_shared<CDownloadList>());
}

void CDownloader::DoSaveList(const std::string& path, bool drop) {
    auto list = List();
    if (!list) return;
    if (list->Save(path, nullptr)) Notify(NE_LOG, reinterpret_cast<uintptr_t>(path.c_str()), LOG_LIST_SAVED);
    list.reset();
    if (drop) {
        RetireList();
        ReplaceList(nullptr);
    }
}

bool CDownloader::SaveThroughFilter() {
    auto list = List();
    std::string path = GetListPath();
    if (!list || path.empty()) return false;
    return list->Save(path, saveFilter_.load());
}

void CDownloader::DoRefreshView() {
    RefPtr<IDownloadView> view = CurrentView();
    if (!view) return;
    DownloadFilterList filter = view->GetViewFilter();
    HWND window = view->GetViewWindow();
    auto* array = new CDownloadArray();
    for (auto& d : Downloads())
        if (d->MatchesCategoryFilter(filter) && d->GetClientID() == 1) array->Add(d.Get());
    if (!PostMessage(window, WM_PV_DOWNLOAD_VIEW, reinterpret_cast<WPARAM>(array), 0)) delete array;
}

void CDownloader::DoOperation(SDnlOp* op) {
    if (!op) return;
    RefPtr<IDownload> d = op->download;
    if (!d) return;
    d->ExecuteOperation(op);
    if (op->code == DNLOP_AUTHORIZE) {
        std::string server = d->GetServer();
        for (auto& other : Downloads())
            if (other.Get() != d.Get() && SameServer(other.Get(), server) && TakesSharedLogin(other.Get()))
                other->ExecuteOperation(op);
    } else if (op->code == DNLOP_DELETE) {
        auto list = List();
        int index = list ? list->IndexOf(d.Get()) : -1;
        if (index >= 0) {
            list->RemoveAt(index);
            d->Notify(NE_DOWNLOAD_REMOVED, reinterpret_cast<uintptr_t>(d.Get()), 0);
            Reschedule();
        }
    }
}

uint32_t CDownloader::DoFind(IDownload** out, int id) {
    if (!out) return 0;
    auto list = List();
    return list && list->FindByID(id, out) ? 1 : 0;
}

void CDownloader::DoDelete(uint32_t mode) {
    for (auto& d : Downloads()) {
        bool take = mode == DELETE_FINISHED ? d->IsFinished() : mode == DELETE_FAILED ? d->IsFailed() : true;
        if (take) d->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    }
}

CDownloadArray* CDownloader::DoArray(DownloadFilterFn filter) {
    auto* array = new CDownloadArray();
    for (auto& d : Downloads())
        if (!filter || filter(d.Get())) array->Add(d.Get());
    return array;
}

void CDownloader::Housekeeping() {
    uint32_t now = GetTickCount();
    for (auto& d : Downloads()) {
        int n = d->GetLeechCount();
        for (int i = 0; i < n; ++i) {
            RefPtr<ILeech> leech;
            if (d->GetLeech(i, leech.Put())) leech->CheckTimeout();
        }
        if (d->GetStatus() == DS_TEMPORARILY_UNAVAILABLE && now - d->GetStatusTime() > kUnavailableRetryMs)
            d->Retry(0);
    }
    uint32_t every = GetSettings().dwAutoSaveTime;
    if (every != 0 && now - lastAutoSave_ >= every * 1000u) {
        lastAutoSave_ = now;
        SaveThroughFilter();
    }
    // A download that pauses after a failed attempt has no event to wake it: a pass each tick
    // lets its planner start the next attempt once the pause has passed.
    Reschedule();
}

}  // namespace plover
