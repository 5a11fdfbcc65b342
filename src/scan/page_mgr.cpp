#include "scan/page_mgr.h"

#include <filesystem>
#include <system_error>

#include "app/settings.h"
#include "download/download_config.h"
#include "download/site_prop.h"
#include "platform/homes.h"
#include "platform/url_split.h"
#include "scan/page_mgr_files.h"

namespace plover {
namespace fs = std::filesystem;

namespace {

// The statuses that can end a fetch or make it wait; the others (under way, paused) are not
// worth an operation.
bool MayMatter(DownloadStatus status) {
    return status == DS_FINISHED || status == DS_NOT_MODIFIED || status == DS_WAIT_FOR_USER || status == DS_DELETED ||
           IsFailedStatus(status);
}

std::string FileNameOf(const std::string& path) { return fs::path(path).filename().string(); }

}  // namespace

CPageMgr::CPageMgr(IEngineMgr* engines) : engines_(engines) {}

CPageMgr::~CPageMgr() = default;

HRESULT CPageMgr::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IPageMgr) {
        *out = static_cast<IPageMgr*>(this);
    } else if (iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
    } else {
        return CEngine::QueryInterface(iid, out);
    }
    AddRef();
    return S_OK;
}

void CPageMgr::Start() {
    {
        std::lock_guard g(loadedLock_);
        started_ = true;
    }
    CEngine::Start();
}

// ---- start and stop ----

void CPageMgr::OnStart() {
    std::string folder = GetSettings().csCacheFolder;
    if (folder.empty()) folder = GetProgramCacheFolder().string();
    CreatePrivateFolder(folder);
    {
        CAutoCriticalSection guard(lock_);
        cacheFolder_ = folder;
    }
    RefPtr<IEngine> engine;
    if (engines_ && engines_->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()))
        downloader_ = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    if (downloader_) downloader_->Advise(static_cast<INetAdviseSink*>(this));
    LoadIndex();
    MarkLoaded();
    timer_ = StartTimer(kSpaceCheckMs);
}

void CPageMgr::OnStop() {
    if (timer_) StopTimer(timer_);
    timer_ = nullptr;
    if (downloader_) {
        downloader_->Unadvise(static_cast<INetAdviseSink*>(this));
        downloader_.Reset();
    }
    SaveIndex();
    std::vector<RefPtr<CWebFile>> dropped;
    {
        CAutoCriticalSection guard(lock_);
        dropped.swap(inFlight_);
    }
    MarkLoaded();
}

void CPageMgr::MarkLoaded() {
    std::lock_guard g(loadedLock_);
    loaded_ = true;
    loadedCv_.notify_all();
}

void CPageMgr::WaitUntilLoaded() {
    std::unique_lock l(loadedLock_);
    loadedCv_.wait(l, [this] { return loaded_ || !started_; });
}

void CPageMgr::LoadIndex() {
    CAutoCriticalSection guard(lock_);
    fs::path folder = cacheFolder_;
    std::string bytes;
    bool opened = false;
    bool read = ReadSmallFile(folder / kCacheIndexName, kMaxCacheIndexBytes, &bytes, &opened);
    // Without an index file there is no sign that the folder's files are the cache's: nothing is swept.
    if (!opened) return;
    loadResult_ = read ? index_.Parse(bytes) : ECacheIndexLoad::TooLarge;
    if (loadResult_ != ECacheIndexLoad::Loaded) index_.Clear();
    SweepCacheFolder(folder, index_.FileNames());
}

void CPageMgr::SaveIndex() {
    CAutoCriticalSection guard(lock_);
    if (cacheFolder_.empty()) return;
    WriteFileAtomically(fs::path(cacheFolder_) / kCacheIndexName, index_.Serialize());
}

// ---- operations ----

uint32_t CPageMgr::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) {
    switch (code) {
        case PMOP_REQUEST:
            if (SRequestTask* task = record.Get<SRequestTask>(); task && task->file) {
                task->taken = true;
                DoRequest(task->file.Get());
            }
            return 0;
        case PMOP_START_FETCH:
            if (RefPtr<CWebFile>* file = record.Get<RefPtr<CWebFile>>(); file && *file) DoStartFetch(file->Get(), value != 0);
            return 0;
        case PMOP_FETCH_REFUSED:
            if (SRequestTask* task = record.Get<SRequestTask>(); task && task->file) {
                task->taken = true;
                DoFetchRefused(*task);
            }
            return 0;
        case PMOP_MOVE_CACHE: {
            const std::string* target = record.Get<std::string>();
            return target && DoMove(*target) ? 1 : 0;
        }
        default: return 0;
    }
}

void CPageMgr::OnTimer(TIMER_INFO* timer) {
    if (timer == timer_) SpaceCheck();
}

// ---- the interface ----

bool CPageMgr::RequestFile(const std::string& url, const std::string& referrer, bool reload,
                           IPageStatusCallback* callback, IWebFile** out) {
    if (!out) return false;
    *out = nullptr;
    if (url.empty()) return false;
    // The caller goes on at once: a scan asks for pages while the page manager works on the last.
    RefPtr<CWebFile> file =
        CWebFile::Create(SPageRequest{url, referrer, reload, RefPtr<IPageStatusCallback>(callback)}, this);
    *out = RefPtr<IWebFile>(file.Get()).Detach();
    PostOwned(this, PMOP_REQUEST, std::make_unique<SRequestTask>(std::move(file)));
    return true;
}

CPageMgr::SRequestTask::~SRequestTask() {
    if (!taken && file) file->NotifyFailed(DS_FAILED);
}

bool CPageMgr::MoveCacheFiles(const std::string& folder) {
    if (folder.empty()) return false;
    return PostOwned(this, PMOP_MOVE_CACHE, std::make_unique<std::string>(folder), 0, true) != 0;
}

void CPageMgr::ClearCache() {
    WaitUntilLoaded();
    CAutoCriticalSection guard(lock_);
    fs::path folder = cacheFolder_;
    for (const std::string& name : index_.FileNames()) DeleteFile(folder / name);
    index_.Clear();
    // The file on disk would name files that are gone if the program ended before its next save.
    if (!cacheFolder_.empty()) DeleteFile(folder / kCacheIndexName);
}

int CPageMgr::GetCachedCount() {
    WaitUntilLoaded();
    CAutoCriticalSection guard(lock_);
    return index_.GetCount();
}

uint64_t CPageMgr::GetCacheSize() {
    WaitUntilLoaded();
    CAutoCriticalSection guard(lock_);
    return index_.GetTotalSize();
}

int CPageMgr::GetPendingCount() {
    CAutoCriticalSection guard(lock_);
    return int(inFlight_.size());
}

std::string CPageMgr::GetCacheFolder() {
    CAutoCriticalSection guard(lock_);
    return cacheFolder_;
}

ECacheIndexLoad CPageMgr::GetLoadResult() {
    WaitUntilLoaded();
    CAutoCriticalSection guard(lock_);
    return loadResult_;
}

CCacheIndex CPageMgr::SnapshotIndex() {
    WaitUntilLoaded();
    CAutoCriticalSection guard(lock_);
    return index_;
}

void CPageMgr::CheckSpaceNow() { SpaceCheck(); }

int32_t CPageMgr::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) {
    if (code != NE_STATUS && code != NE_DOWNLOAD_REMOVED) return 0;
    DownloadStatus status = code == NE_STATUS ? DownloadStatus(value2) : DS_DELETED;
    if (!MayMatter(status)) return 0;
    RefPtr<IDownload> download = QueryAs<IDownload>(reinterpret_cast<IUnknown*>(value1), IID_IDownload);
    if (!download || download->GetClientID() != kPageMgrClientID) return 0;
    SDownloadEvent event;
    event.outcome = ClassifyDownloadEvent(status, download->GetSuperStatus(), download->GetDownloaded());
    if (event.outcome.kind == EFetchOutcome::None) return 0;
    // A fetch that has ended leaves the downloader's list. Told here, on the downloader's own
    // thread as a rule, the removal is its next step rather than a wake-up of its own later.
    bool ends = event.outcome.kind != EFetchOutcome::Waiting;
    if (ends && event.outcome.kind != EFetchOutcome::Removed) download->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
    event.download = std::move(download);
    event.status = status;
    // The fetch ends here too, rather than in a wake-up of the page manager's thread later: the
    // index and the in-flight list are under the lock, and the callers' callbacks only post.
    DoDownloadEvent(event);
    return 0;
}

// ---- requests ----

void CPageMgr::DoRequest(CWebFile* file) {
    if (AnswerFromCache(file))
        file->NotifyComplete();
    else
        Fetch(file);
}

bool CPageMgr::AnswerFromCache(CWebFile* file) {
    CAutoCriticalSection guard(lock_);
    int row = index_.Find(file->GetURL());
    if (row < 0) return false;
    fs::path path = fs::path(cacheFolder_) / index_.GetFileName(row);
    if (!IsRegularFile(path)) {
        index_.RemoveAt(row);
        return false;
    }
    int64_t age = 0;
    bool ageKnown = FileAgeSeconds(path, &age);
    bool hasDate = !index_.GetLastModified(row).empty();
    switch (DecideCachedRequest(GetSettings().eCacheMode, file->Request().reload, ageKnown, age, hasDate)) {
        case ECachedAnswer::UseStored:
            file->SetLocalPath(path.string());
            file->SetEffectiveURL(index_.GetEffectiveUrl(row));
            return true;
        case ECachedAnswer::DeleteAndFetch: RemoveRowAndFile(row); return false;
        case ECachedAnswer::Revalidate: file->SetRevalidation(path.string(), index_.GetLastModified(row)); return false;
        case ECachedAnswer::FetchKeepRow: return false;
    }
    return false;
}

void CPageMgr::Fetch(CWebFile* file, bool again) {
    {
        CAutoCriticalSection guard(lock_);
        inFlight_.push_back(RefPtr<CWebFile>(file));
    }
    PostOwned(this, PMOP_START_FETCH, std::make_unique<RefPtr<CWebFile>>(file), again ? 1 : 0);
}

void CPageMgr::DoStartFetch(CWebFile* file, bool again) {
    RefPtr<IDownloader> downloader = file->Downloader();
    if (!downloader) {
        downloader = downloader_;
        file->SetDownloader(downloader.Get());
    }
    if (!downloader) {
        EndFetch(file);
        file->NotifyFailed(DS_FAILED);
        return;
    }
    const SPageRequest& request = file->Request();
    auto* config = new SDownloadConfig;
    config->URL_original = request.url;
    config->URL_remote = request.url;
    SUrlParts parts;
    if (SplitUrl(request.url, parts)) {
        config->Service = parts.service == kServiceHttp    ? SERVICE_HTTP
                          : parts.service == kServiceHttps ? SERVICE_HTTPS
                          : parts.service == kServiceFtp   ? SERVICE_FTP
                                                           : SERVICE_NONE;
        config->Server = parts.server;
        config->Port = parts.port;
        config->Object = parts.object;
    }
    config->csPrevServer = request.referrer;
    config->Prior = file->GetPriority();
    config->ClientID = kPageMgrClientID;
    // Running at once, its target file (made here) confirmed: one step of the downloader's.
    config->StartMode = START_RUN;
    config->OverwriteConfirmed = 1;
    config->SingleSection = 1;
    ApplySiteLogin(*config);
    config->SetFlags(DCF_WHOLE_FILE);  // refused (left 0) for an address that is not HTTP

    std::string date = file->RevalidationDate();
    fs::path folder = GetCacheFolder();
    std::string newName;
    if (date.empty()) {
        if (!CreateCacheFile(folder, &newName)) {
            delete config;
            EndFetch(file);
            file->NotifyFailed(DS_CANT_CREATE_FILE);
            return;
        }
        config->LocalFolder = folder.string();
        config->FileName = newName;
        file->SetLocalPath((folder / newName).string());
    } else {
        fs::path stored = file->RevalidationPath();
        config->LocalFolder = stored.parent_path().string();
        config->FileName = stored.filename().string();
        config->IfModifiedSince = date;
        file->SetLocalPath(stored.string());
    }

    // The downloader answers on its own thread and the page manager goes on meanwhile. The download
    // is set on the web file there, before any event of it can reach us; a refusal comes back here.
    std::string made = newName.empty() ? std::string() : (folder / newName).string();
    downloader->AddDownloadThen(config, [self = RefPtr<CPageMgr>(this), keep = RefPtr<CWebFile>(file), made,
                                         again](IDownload* download) {
        if (download) {
            keep->SetDownload(download);
            return;
        }
        auto task = std::make_unique<SRequestTask>(keep);
        task->madePath = made;
        task->again = again;
        PostOwned(self.Get(), PMOP_FETCH_REFUSED, std::move(task));
    });
}

// The downloader already fetches this address (another request of ours, or not). A fetch of ours
// is shared. One of ours that ended while the refusal was on its way has left the cached copy and
// the downloader's list: the request is asked again, once. Otherwise the request fails.
void CPageMgr::DoFetchRefused(SRequestTask& task) {
    CWebFile* file = task.file.Get();
    if (!task.madePath.empty()) DeleteFile(task.madePath);
    if (ShareFetch(file)) return;
    EndFetch(file);
    if (task.again) {
        file->NotifyFailed(DS_FAILED);
    } else if (AnswerFromCache(file)) {
        file->NotifyComplete();
    } else {
        Fetch(file, true);
    }
}

bool CPageMgr::ShareFetch(CWebFile* file) {
    CAutoCriticalSection guard(lock_);
    for (const auto& other : inFlight_) {
        if (other.Get() == file || other->GetURL() != file->GetURL()) continue;
        RefPtr<IDownload> download = other->Download();
        if (!download) continue;
        file->SetDownload(download.Get());
        file->SetLocalPath(other->GetLocalPath());
        return true;
    }
    return false;
}

void CPageMgr::EndFetch(CWebFile* file) {
    RefPtr<CWebFile> keep(file);  // the list's reference may be the last but one
    CAutoCriticalSection guard(lock_);
    for (auto it = inFlight_.begin(); it != inFlight_.end(); ++it)
        if (it->Get() == file) {
            inFlight_.erase(it);
            break;
        }
}

std::vector<RefPtr<CWebFile>> CPageMgr::TakeInFlight(IDownload* download, bool remove) {
    std::vector<RefPtr<CWebFile>> found;
    CAutoCriticalSection guard(lock_);
    for (auto it = inFlight_.begin(); it != inFlight_.end();) {
        if ((*it)->IsDownload(download)) {
            found.push_back(*it);
            if (remove) {
                it = inFlight_.erase(it);
                continue;
            }
        }
        ++it;
    }
    return found;
}

// ---- download events ----

void CPageMgr::DoDownloadEvent(const SDownloadEvent& event) {
    IDownload* download = event.download.Get();
    const SFetchOutcome& outcome = event.outcome;
    bool ends = outcome.kind != EFetchOutcome::Waiting;
    // An empty answer leaves nothing worth keeping.
    if (event.status == DS_FINISHED && outcome.kind == EFetchOutcome::Failed) DeleteFile(download->GetLocalPath());

    std::vector<RefPtr<CWebFile>> files = TakeInFlight(download, ends);
    if (files.empty()) return;
    switch (outcome.kind) {
        case EFetchOutcome::Finished:
            RecordFinished(files.front().Get(), download);
            for (auto& f : files) f->NotifyComplete();
            break;
        case EFetchOutcome::NotModified:
            for (auto& f : files) {
                fs::path stored = f->GetLocalPath();
                if (IsRegularFile(stored)) {
                    TouchFile(stored);  // checked now: fresh for another day
                    f->NotifyComplete();
                } else {
                    f->NotifyFailed(DS_FILE_NOT_FOUND);  // the stored copy went meanwhile
                }
            }
            break;
        case EFetchOutcome::Removed:
            // A fetch dropped on its way leaves no part of a page behind; a stored copy that was
            // being checked stays.
            if (files.front()->RevalidationDate().empty()) DeleteFile(download->GetLocalPath());
            for (auto& f : files) f->NotifyFailed(outcome.code);
            break;
        case EFetchOutcome::Failed:
            for (auto& f : files) f->NotifyFailed(outcome.code);
            break;
        case EFetchOutcome::Waiting:
            for (auto& f : files) f->NotifyWaiting();
            break;
        case EFetchOutcome::None: break;
    }
}

void CPageMgr::RecordFinished(CWebFile* file, IDownload* download) {
    std::string url = file->GetURL();
    std::string effective = file->GetEffectiveURL();
    std::string name = FileNameOf(file->GetLocalPath());
    std::string lastModified = download->GetLastModified();
    uint32_t size = download->GetDownloaded();
    CAutoCriticalSection guard(lock_);
    int row = index_.Find(url);
    if (row >= 0) {
        if (index_.GetFileName(row) != name) DeleteFile(fs::path(cacheFolder_) / index_.GetFileName(row));
        index_.Renew(row, effective, name, lastModified, size);
        return;
    }
    if (index_.GetCount() >= kMaxCacheRows) {
        std::vector<int> oldest = index_.PickEvictions(index_.GetTotalSize() - 1);
        if (!oldest.empty()) RemoveRowAndFile(oldest.front());
    }
    index_.Add(url, effective, name, lastModified, size);
}

// ---- the space check, removal, moving ----

void CPageMgr::RemoveRowAndFile(int row) {
    CAutoCriticalSection guard(lock_);
    DeleteFile(fs::path(cacheFolder_) / index_.GetFileName(row));
    index_.RemoveAt(row);
}

void CPageMgr::SpaceCheck() {
    CAutoCriticalSection guard(lock_);
    int64_t megabytes = GetSettings().iMaxCacheSpace;
    uint64_t limit = uint64_t(megabytes < 0 ? 0 : megabytes) * 1048576u;
    if (index_.GetTotalSize() <= limit) return;
    std::vector<int> rows = index_.PickEvictions(limit);
    fs::path folder = cacheFolder_;
    for (int row : rows) DeleteFile(folder / index_.GetFileName(row));
    index_.RemoveRows(rows);
}

bool CPageMgr::DoMove(const std::string& target) {
    // Nothing is deleted before its copy is in place: every cached file is first copied (or
    // linked) into the target and the index written there; only then does the cache switch and
    // the old files go. A move that cannot complete removes the copies it made and leaves the
    // cache in its old folder with all its files.
    if (!CreatePrivateFolder(target)) return false;
    CAutoCriticalSection guard(lock_);
    fs::path from = cacheFolder_;
    std::error_code ec;
    if (fs::equivalent(from, target, ec)) return true;
    CCacheIndex moved = index_;
    std::vector<fs::path> copies;
    std::vector<int> lost;
    auto undo = [&] {
        for (const fs::path& p : copies) DeleteFile(p);
        return false;
    };
    for (int row = 0; row < moved.GetCount(); ++row) {
        std::string name = moved.GetFileName(row);
        if (!IsRegularFile(from / name)) {
            lost.push_back(row);  // nothing to move: the row is of no use
            continue;
        }
        if (!CopyIntoFolder(from / name, target, &name)) return undo();
        copies.push_back(fs::path(target) / name);
        moved.SetFileName(row, name);
    }
    moved.RemoveRows(lost);
    if (!WriteFileAtomically(fs::path(target) / kCacheIndexName, moved.Serialize())) return undo();
    // The new folder holds everything: switch, then let the old copies go.
    for (const std::string& name : index_.FileNames()) DeleteFile(from / name);
    DeleteFile(from / kCacheIndexName);
    index_ = moved;
    cacheFolder_ = target;
    return true;
}

}  // namespace plover
