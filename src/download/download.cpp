// CDownload: creation, the address, the getters, the status rules and the operations that run on
// the owner's thread. The planner and the host lookup are in download_plan.cpp, writing and the
// target file in download_write.cpp, the list-file node in download_save.cpp.
#include "download/download.h"

#include <algorithm>
#include <random>

#include "app/settings_records.h"
#include "download/categories.h"
#include "download/download_env.h"
#include "download/downloader.h"
#include "download/reloc_info.h"
#include "download/retry_rule.h"
#include "download/section_planner.h"
#include "download/url_name.h"
#include "engine/engine.h"
#include "platform/url_split.h"

namespace plover {
namespace {

constexpr uint32_t kOpRestartFromZero = 8;  // internal: the server's file changed

// Bytes that may not travel in a request path are written as %XX.
std::string EncodeUnsafePathBytes(const std::string& object) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(object.size());
    for (char c : object) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7f) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool HasLineBreakOrZero(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

}  // namespace

std::string CheckDownloadConfig(const SDownloadConfig& config) {
    if (config.LocalFolder.find('|') != std::string::npos)
        return "The target folder cannot contain \"|\": " + config.LocalFolder;
    if (config.IsWholeFile() && config.Service != SERVICE_NONE && !IsHttpService(config.Service))
        return "A whole-file download needs an HTTP address";
    return {};
}

CDownload::CDownload(IDownloader* owner) : owner_(owner) {
    leeches_.SetHoldsReferences(true);
    statusTime_ = GetDownloadEnv()->GetTicks();
}

CDownload::~CDownload() { file_.Close(); }

RefPtr<CDownload> CDownload::Create(const SDownloadConfig& config, IDownloader* owner, std::string* error) {
    std::string why = CheckDownloadConfig(config);
    auto d = RefPtr<CDownload>::Adopt(new CDownload(owner));
    if (why.empty()) {
        d->config_ = config;
        // The login written in an address goes to the download's login (SetUrl); the password
        // is never kept in an address, which is stored in the list file and shown.
        d->config_.URL_original = StorableAddress(AddressWithoutPassword(config.URL_original));
        const std::string& address = config.URL_remote.empty() ? config.URL_original : config.URL_remote;
        if (!d->SetUrl(address)) why = "Not an HTTP or FTP address: " + address;
        else if (d->config_.IsWholeFile() && !IsHttpService(d->config_.Service))
            why = "A whole-file download needs an HTTP address";
    }
    if (!why.empty()) {
        if (error) *error = why;
        return {};
    }
    if (d->config_.URL_original.empty()) d->config_.URL_original = d->config_.URL_remote;
    d->config_.FileName = MakeSafeFileName(d->config_.FileName);
    d->overwriteConfirmed_ = config.OverwriteConfirmed;
    d->Initialize();
    if (owner) d->id_ = owner->GetFreeID();
    d->NotifyOwner(NE_DOWNLOAD_ADDED, 0);
    return d;
}

void CDownload::Initialize() {
    UpdateCategory();
    if (config_.IsWholeFile()) ResetSections();
    initialized_ = 1;
}

bool CDownload::SetUrl(const std::string& url) {
    std::string address = StorableAddress(url);
    SUrlParts parts;
    if (!SplitUrl(address, parts)) return false;
    int32_t service;
    if (parts.service == kServiceHttp)
        service = SERVICE_HTTP;
    else if (parts.service == kServiceHttps)
        service = SERVICE_HTTPS;
    else if (parts.service == kServiceFtp)
        service = SERVICE_FTP;
    else
        return false;
    std::string object = service == SERVICE_FTP ? PercentDecode(parts.object) : EncodeUnsafePathBytes(parts.object);
    if (service == SERVICE_FTP && HasLineBreakOrZero(object)) return false;  // would split an FTP command
    std::string name;
    {
        CAutoCriticalSection guard(lock_);
        if (config_.FileName.empty()) name = MakeSafeFileName(PercentDecode(DeriveFileName(parts.object)));
    }
    CAutoCriticalSection guard(lock_);
    // An address that names the login's user without a password (the stored form) keeps the
    // password the login already has.
    bool sameUser = parts.password.empty() && config_.Login.Login != 0 && config_.Login.Username == parts.user;
    if (!parts.user.empty() && !sameUser) config_.Login = SLogin{1, parts.user, parts.password};
    config_.Service = service;
    config_.Server = parts.server;
    config_.Port = parts.port;
    config_.Object = object;
    config_.URL_remote = StorableAddress(BuildRemoteUrl(service, config_.Login, parts.server, parts.port, object));
    if (config_.FileName.empty()) config_.FileName = name;
    return true;
}

// IUnknown -----------------------------------------------------------------------------------

HRESULT CDownload::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDownload)
        *out = static_cast<IDownload*>(this);
    else if (iid == IID_IHostByNameCallback)
        *out = static_cast<IHostByNameCallback*>(this);
    else if (iid == IID_ITextTreeItem)
        *out = static_cast<ITextTreeItem*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

uint32_t CDownload::AddRef() { return refs_.Add(); }

uint32_t CDownload::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

// Getters ------------------------------------------------------------------------------------

std::string CDownload::GetOriginalUrl() {
    CAutoCriticalSection guard(lock_);
    return config_.URL_original;
}
std::string CDownload::GetRemoteUrl() {
    CAutoCriticalSection guard(lock_);
    return config_.URL_remote;
}
std::string CDownload::GetServer() {
    CAutoCriticalSection guard(lock_);
    return config_.Server;
}
std::string CDownload::GetFileName() {
    CAutoCriticalSection guard(lock_);
    return config_.FileName;
}
std::string CDownload::GetLocalPath() {
    CAutoCriticalSection guard(lock_);
    return JoinPath(config_.LocalFolder, config_.FileName);
}
std::string CDownload::GetLocalFolder() {
    CAutoCriticalSection guard(lock_);
    return config_.LocalFolder;
}
std::string CDownload::GetObject() {
    CAutoCriticalSection guard(lock_);
    return config_.Object;
}

uint32_t CDownload::GetSize() {
    CAutoCriticalSection guard(lock_);
    return size_ == kUnknownSize ? 0 : size_;
}

uint32_t CDownload::GetDownloaded() { return downloaded_; }

uint32_t CDownload::GetSpeed() {
    CAutoCriticalSection guard(lock_);
    if (!IsFinished() && runStart_ != kUnknownSize)
        runSeconds_ = (GetDownloadEnv()->GetTicks() - runStart_) / 1000;
    return runSeconds_ == 0 ? 0 : runBytes_ / runSeconds_;
}

uint32_t CDownload::GetTimeLeft() {
    uint32_t speed = GetSpeed();
    if (speed == 0) return 0;
    uint32_t size = GetSize(), done = GetDownloaded();
    return size > done ? (size - done) / speed : 0;
}

void CDownload::GetSections(std::vector<SSection>& sections, std::vector<SSection>& workers) {
    CAutoCriticalSection guard(lock_);
    sections = sections_;
    workers.clear();
    for (ILeech* l : leeches_) workers.push_back({l->GetPosition(), l->GetRemaining()});
}

SDownloadSnapshot CDownload::GetSnapshot() {
    SDownloadSnapshot s;
    // The lock is re-entrant: the getters below take it again and see the same state.
    CAutoCriticalSection guard(lock_);
    s.id = id_;
    s.clientId = config_.ClientID;
    s.originalUrl = config_.URL_original;
    s.remoteUrl = config_.URL_remote;
    s.server = config_.Server;
    s.tls = config_.Service == SERVICE_HTTPS;
    s.fileName = config_.FileName;
    s.localFolder = config_.LocalFolder;
    s.localPath = JoinPath(config_.LocalFolder, config_.FileName);
    s.status = status_;
    s.superStatus = superStatus_;
    s.statusText = StatusText(s.status);
    if (s.superStatus != DS_NONE) s.superStatusText = StatusText(s.superStatus);
    s.statusTime = statusTime_;
    s.paused = s.status == DS_PAUSED;
    s.finished = s.status == DS_FINISHED;
    s.failed = IsFailedStatus(s.status) || IsFailedStatus(s.superStatus);
    s.held = held_ != 0;
    s.sizeKnown = size_ != kUnknownSize;
    s.size = s.sizeKnown ? size_ : 0;
    GetSections(s.sections, s.workers);
    // Counted from the sections themselves: a block claimed but not yet counted belongs to both.
    s.downloaded = SumSections(s.sections);
    s.speed = GetSpeed();
    s.timeLeft = s.speed && s.size > s.downloaded ? (s.size - s.downloaded) / s.speed : 0;
    s.priority = config_.Prior;
    s.queueValue = queueValue_;
    s.timestamp = timestamp_;
    s.lastModified = lastModified_;
    s.moveDone = moveDone_;
    s.moveTotal = moveTotal_;
    return s;
}

void CDownload::ResetSections() {
    CAutoCriticalSection guard(lock_);
    sections_.clear();
    downloaded_ = 0;
    singleStream_ = 1;
}

bool CDownload::IsSingleStream() { return singleStream_ != 0; }
bool CDownload::IsFinished() { return status_ == DS_FINISHED; }
bool CDownload::IsFailed() { return IsFailedStatus(status_) || IsFailedStatus(superStatus_); }

bool CDownload::IsBusy() { return GetLeechCount() > 0 || hostState_ == HOST_LOOKING; }

int CDownload::GetLeechCount() { return leechCount_.load(); }

bool CDownload::GetLeech(int index, ILeech** out) {
    if (!out) return false;
    CAutoCriticalSection guard(lock_);
    if (index < 0 || size_t(index) >= leeches_.GetSize()) return false;
    *out = leeches_[size_t(index)];
    (*out)->AddRef();
    return true;
}

bool CDownload::IsPaused() { return status_ == DS_PAUSED; }
bool CDownload::CanPause() { return StatusHas(status_, DSF_PAUSABLE); }
bool CDownload::IsPausedClean() { return IsPaused() && !IsFailedStatus(superStatus_); }
bool CDownload::IsAutoRetry() { return StatusHas(status_, DSF_AUTO_RETRY); }
int CDownload::GetClientID() { return config_.ClientID; }

bool CDownload::MatchesFind(const SFindInfo& find) {
    if (IsPaused() && !find.bPaused) return false;
    if (IsFailed() && !find.bFailed) return false;
    if (IsFinished() ? !find.bFinished : !find.bNotFinished) return false;
    std::string text = ToLower(find.csText);
    if (find.bFilename && ToLower(GetFileName()).find(text) != std::string::npos) return true;
    if (find.bServer && ToLower(GetServer()).find(text) != std::string::npos) return true;
    return text.empty();
}

int CDownload::GetAuthorizationCancelled() { return authorizationCancelled_; }
void CDownload::CancelRename() { renameCancelled_ = 1; }
int CDownload::GetRenameCancelled() { return renameCancelled_; }

void CDownload::SetPriority(int priority) {
    {
        CAutoCriticalSection guard(lock_);
        if (IsFinished() || config_.Prior == priority) return;
        config_.Prior = priority;
    }
    Reschedule();
    NotifyOwner(NE_PRIORITY, 0);
}

void CDownload::Notify(uint32_t code, uintptr_t value1, uintptr_t value2) {
    if (owner_) owner_->Notify(code, value1, value2);
}

sockaddr_in CDownload::GetServerAddress() {
    CAutoCriticalSection guard(lock_);
    return serverAddress_;
}

void CDownload::CountAttempt() {
    ++attempts_;
    NotifyOwner(NE_STATUS, status_);
}

int CDownload::GetAttempts() { return attempts_; }

DownloadStatus CDownload::SetServerFileName(const std::string& name) {
    std::string safe = MakeSafeFileName(PercentDecode(name));
    bool changed = false;
    {
        CAutoCriticalSection guard(lock_);
        if (config_.FileName.empty() && !safe.empty()) {
            config_.FileName = safe;
            overwriteConfirmed_ = 0;
            changed = true;
        }
    }
    if (changed) SetStatus(DS_WAITING);
    return status_;
}

bool CDownload::IsFileOpen() { return file_.IsOpen(); }
void CDownload::SetTimestamp(uint32_t value) { timestamp_ = value; }
uint32_t CDownload::GetTimestamp() { return timestamp_; }

void CDownload::UpdateCategory() {
    std::string name = GetFileName(), folder = GetLocalFolder();
    category_ = CategoryIndexFor(GetCategories(), name, folder);
}

void CDownload::MarkHtmlSubstitute() { htmlSubstitute_ = 1; }
DownloadStatus CDownload::GetPreviousStatus() { return previousStatus_; }
DownloadStatus CDownload::GetStatus() { return status_; }
DownloadStatus CDownload::GetSuperStatus() { return superStatus_; }
int CDownload::GetSizeState() { return sizeState_; }
int CDownload::GetHostState() { return hostState_; }
uint32_t CDownload::GetStatusTime() { return statusTime_; }
SDownloadConfig* CDownload::GetConfig() { return &config_; }

bool CDownload::MatchesCategoryFilter(const DownloadFilterList& filters) {
    bool sawCategory = false, categoryOk = false, sawStatus = false, statusOk = false;
    for (const SDownloadFilter& f : filters) {
        const auto& v = f.values;
        if (f.kind == FILTER_ALL) return true;
        if (f.kind == FILTER_CATEGORY) {
            sawCategory = true;
            categoryOk |= std::find(v.begin(), v.end(), uint32_t(category_)) != v.end();
        } else if (f.kind == FILTER_STATUS) {
            sawStatus = true;
            statusOk |= std::find(v.begin(), v.end(), uint32_t(status_)) != v.end();
        }
    }
    return (!sawCategory || categoryOk) && (!sawStatus || statusOk);
}

int CDownload::GetID() { return id_; }
void CDownload::SetSectionLimit(int limit) { sectionLimit_ = limit; }

int CDownload::GetSectionLimit() {
    int max = int(SettingMaxSectPerDownload());
    int limit = sectionLimit_;
    return (limit != -1 && limit <= max) ? limit : max;
}

void CDownload::SetTraffic(uint32_t done, uint32_t total) {
    {
        CAutoCriticalSection guard(lock_);
        moveDone_ = done;
        moveTotal_ = total;
    }
    NotifyOwner(NE_PROGRESS, 0);
}

void CDownload::GetTraffic(uint32_t* done, uint32_t* total) {
    CAutoCriticalSection guard(lock_);
    if (done) *done = moveDone_;
    if (total) *total = moveTotal_;
}

int CDownload::GetQueueValue() { return queueValue_; }
void CDownload::SetQueueValue(int value) { queueValue_ = value; }
void CDownload::SetOverwriteConfirmed(uint8_t confirmed) { overwriteConfirmed_ = confirmed; }
uint8_t CDownload::IsHeld() { return held_; }
void CDownload::SetHeld(uint8_t held) { held_ = held; }

void CDownload::SetLastModified(const std::string& value) {
    CAutoCriticalSection guard(lock_);
    lastModified_ = value;
}

std::string CDownload::GetLastModified() {
    CAutoCriticalSection guard(lock_);
    return lastModified_;
}

// Status ---------------------------------------------------------------------------------------

void CDownload::SetStatus(DownloadStatus status) {
    if (status == status_) return;
    // A transient failure from a worker is a failed attempt: the retry rule decides what it means.
    // Without a worker ("Moving failed") it is set as it is.
    if (IsTransientFailure(status) && GetLeechCount() > 0) {
        AttemptFailed(status, RunningLeechCount() > 1);  // the reporting worker is one of them
        return;
    }
    ApplyStatus(status);
}

void CDownload::ApplyStatus(DownloadStatus status) {
    if (status == status_) return;
    previousStatus_ = status_.exchange(status);
    statusTime_ = GetDownloadEnv()->GetTicks();
    NotifyOwner(NE_STATUS, status);
    Reschedule();
}

void CDownload::AttemptFailed(DownloadStatus why, bool othersRunning, bool jitter) {
    SRetryVerdict verdict = DecideRetry(uint32_t(attempts_), SettingRetryLimit(), othersRunning);
    if (verdict.counts) CountAttempt();
    if (verdict.giveUp) {
        retryWait_ = false;
        ApplyStatus(why);
        return;
    }
    uint32_t pauseMs = verdict.pauseMs;
    if (jitter) {
        thread_local std::minstd_rand random{std::random_device{}()};
        pauseMs = JitteredPauseMs(pauseMs, uint32_t(random()));
    }
    PauseBeforeNextAttempt(why, pauseMs, "next attempt in ");
}

void CDownload::ServerBusy(DownloadStatus why, std::optional<uint32_t> waitMs) {
    // Without a time to come back, or when the server keeps saying "later": a failed attempt.
    if (!waitMs || serverWaits_.fetch_add(1) >= kMaxServerWaits) {
        if (why == status_) return;
        if (GetLeechCount() > 0)
            AttemptFailed(why, RunningLeechCount() > 1, true);
        else
            ApplyStatus(why);
        return;
    }
    PauseBeforeNextAttempt(why, *waitMs, "the server asks to come back in ");
}

void CDownload::PauseBeforeNextAttempt(DownloadStatus why, uint32_t pauseMs, const char* reason) {
    retryAt_ = GetDownloadEnv()->GetTicks() + pauseMs;
    retryWait_ = true;
    Log(std::string(StatusText(why)) + "; " + reason + std::to_string((pauseMs + 999) / 1000) + " s: " +
            GetOriginalUrl(),
        LOG_RESPONSE);
    Reschedule();
}

int CDownload::RunningLeechCount() {
    CAutoCriticalSection guard(lock_);
    int running = 0;
    for (ILeech* l : leeches_) running += l->IsStopped() ? 0 : 1;
    return running;
}

void CDownload::SetSuperStatus(DownloadStatus status) {
    if (superStatus_.exchange(status) == status) return;
    statusTime_ = GetDownloadEnv()->GetTicks();
    NotifyOwner(NE_SUPER_STATUS, status);
}

void CDownload::StoreStatus(DownloadStatus status) {
    previousStatus_ = status_.exchange(status);
    statusTime_ = GetDownloadEnv()->GetTicks();
}

void CDownload::Log(const std::string& text, uint32_t kind) {
    Notify(NE_LOG, reinterpret_cast<uintptr_t>(text.c_str()), kind);
}

void CDownload::NotifyOwner(uint32_t code, uintptr_t value) {
    Notify(code, reinterpret_cast<uintptr_t>(Self()), value);
}

void CDownload::Reschedule() {
    if (owner_) owner_->Reschedule();
}

// Redirects and logins ---------------------------------------------------------------------------

void CDownload::Redirect(const std::string& location) {
    // A chain of distinct addresses never repeats, so only a count of hops ends it.
    if (++redirects_ > kMaxRedirects) {
        Log("More than " + std::to_string(kMaxRedirects) + " redirects; the last led to " + location, LOG_RESPONSE);
        SetStatus(DS_TOO_MANY_REDIRECTS);
        return;
    }
    std::string server;
    int32_t service;
    {
        // The port goes with the server: a relative location stays on the same port.
        CAutoCriticalSection guard(lock_);
        service = config_.Service;
        server = config_.Server;
        if (config_.Port != ServiceDefaultPort(service)) server += ":" + std::to_string(config_.Port);
    }
    std::string target = RedirectTarget(service, server, location);
    if (target.empty()) {  // no location, or a scheme that is not followed (javascript:, data:, ...)
        Log("Cannot follow the redirect to \"" + location + "\"", LOG_RESPONSE);
        SetStatus(DS_FAILED);
        return;
    }
    // An address that this download or one that keeps it out (KeepsOutSameAddress) already
    // fetches is a duplicate; comparing the resolved address too ends a redirect loop through a
    // relative one.
    auto known = [&](IDownload* d) {
        for (const std::string& a : {d->GetOriginalUrl(), d->GetRemoteUrl()})
            if (EqualsNoCase(a, location) || EqualsNoCase(a, StorableAddress(target))) return true;
        return false;
    };
    bool duplicate = known(this);
    int count = owner_ ? owner_->GetDownloadCount() : 0;
    for (int i = 0; i < count && !duplicate; ++i) {
        RefPtr<IDownload> d;
        if (owner_->GetDownload(i, d.Put()) && d && d.Get() != Self() &&
            KeepsOutSameAddress(d->GetClientID(), d->GetStatus(), GetClientID()))
            duplicate = known(d.Get());
    }
    if (duplicate) {
        SetStatus(DS_DUPLICATE);
        return;
    }
    if (!SetUrl(target)) {  // a scheme no worker serves (https, ...): following it would loop
        Log("Cannot follow the redirect to " + target, LOG_RESPONSE);
        SetStatus(DS_FAILED);
        return;
    }
    sizeState_ = SIZE_UNKNOWN;
    hostState_ = HOST_UNRESOLVED;
    {
        // Another address may serve another file: with nothing on disk its size is learnt anew.
        CAutoCriticalSection guard(lock_);
        if (sections_.empty()) size_ = kUnknownSize;
    }
    SetStatus(DS_WAITING);
    SetSuperStatus(DS_REDIRECTING);
}

void CDownload::OnUnauthorized() {
    if (authorizationCancelled_ == 0) {
        SetSuperStatus(DS_UNAUTHORIZED);
        SetStatus(DS_WAIT_FOR_USER);
    } else {
        CancelAuthorization();
    }
}

// Operations -------------------------------------------------------------------------------------

void CDownload::Pause() { PostOperation(new SDnlOp(DNLOP_PAUSE), 0); }
void CDownload::Resume() { PostOperation(new SDnlOp(DNLOP_RESUME), 0); }
void CDownload::Retry(uint8_t transientOnly) { PostOperation(new SDnlOp(DNLOP_RETRY, transientOnly), 0); }
void CDownload::CancelAuthorization() { PostOperation(new SDnlOp(DNLOP_CANCEL_AUTH), 0); }
void CDownload::Overwrite() { PostOperation(new SDnlOp(DNLOP_OVERWRITE), 0); }

void CDownload::RestartFromZero() {
    // From a worker's call: nothing more is written until the restart has run on the owner's
    // thread, where the workers can be stopped safely.
    if (restartPending_.exchange(true)) return;
    PostOperation(new SDnlOp(kOpRestartFromZero), 0);
}

void CDownload::MoveTo(const std::string& target, bool appendName) {
    if (status_ == DS_MOVING) return;
    std::string path = appendName ? JoinPath(target, GetFileName()) : target;
    if (path.find('|') != std::string::npos) {
        Log("The target folder cannot contain \"|\": " + path, LOG_RESPONSE);
        return;
    }
    PostOperation(new SDORelocate(path), 0);
}

void CDownload::PostOperation(SDnlOp* op, uintptr_t value) {
    std::unique_ptr<SDnlOp> owned(op);
    RefPtr<IEngine> engine = owner_ ? QueryAs<IEngine>(owner_.Get(), IID_IEngine) : RefPtr<IEngine>();
    if (!owned || !engine) return;
    owned->download = RefPtr<IDownload>(Self());
    PostOwned(engine.Get(), DOP_DOWNLOAD_OP, std::move(owned), value);
}

void CDownload::ExecuteOperation(SDnlOp* op) {
    if (!op) return;
    RefPtr<IDownload> keep(Self());
    switch (op->code) {
        case DNLOP_AUTHORIZE: {
            auto* auth = static_cast<SDOAuthorize*>(op);
            {
                CAutoCriticalSection guard(lock_);
                config_.Login = SLogin{1, auth->Username, auth->Password};
                config_.URL_remote = StorableAddress(BuildRemoteUrl(config_.Service, config_.Login, config_.Server,
                                                              config_.Port, config_.Object));
            }
            sizeState_ = SIZE_UNKNOWN;
            if (!IsPaused()) {
                SetStatus(DS_WAITING);
                SetSuperStatus(DS_NONE);
            }
            break;
        }
        case DNLOP_CANCEL_AUTH:
            authorizationCancelled_ = 1;
            SetStatus(DS_UNAUTHORIZED);
            SetSuperStatus(DS_NONE);
            break;
        case DNLOP_PAUSE:
            if (CanPause()) {
                SetStatus(DS_PAUSED);
                Log(GetOriginalUrl(), LOG_PAUSED);
            }
            break;
        case DNLOP_RESUME: {
            // Lets the download go: out of "Paused", and out of the hold it may have been loaded in.
            const bool wasHeld = held_.exchange(0) != 0;
            if (IsPaused()) {
                SetStatus(DS_WAITING);
                Log(GetOriginalUrl(), LOG_RESUMED);
            } else if (wasHeld) {
                Reschedule();
            }
            break;
        }
        case DNLOP_RETRY:
            if (!IsFinished() && (op->arg == 0 || StatusHas(status_, DSF_TRANSIENT) ||
                                  StatusHas(superStatus_, DSF_TRANSIENT))) {
                StopAllLeeches();
                authorizationCancelled_ = 0;
                renameCancelled_ = 0;
                hostState_ = HOST_UNRESOLVED;
                singleStream_ = config_.IsWholeFile() ? 1 : 0;  // a whole-file download stays one stream
                sizeState_ = SIZE_UNKNOWN;
                htmlSubstitute_ = 0;
                StoreStatus(DS_WAITING);
                superStatus_ = DS_NONE;
                SetUrl(GetOriginalUrl());
                attempts_ = 1;
                serverWaits_ = 0;
                retryWait_ = false;
                progressMark_ = 0;
                redirects_ = 0;
                held_ = 0;
                Reschedule();
            }
            break;
        case DNLOP_DELETE: {
            Log(GetOriginalUrl(), LOG_DELETED);
            if (relocating_) GetDownloadEnv()->CancelRelocation(Self());
            StopAllLeeches();
            bool wasOpen = file_.IsOpen();
            CloseFile();
            if (!IsFinished() && (wasOpen || ownFile_)) DeleteLocalFile();
            break;
        }
        case DNLOP_RELOCATE: {
            auto* move = static_cast<SDORelocate*>(op);
            if (EqualsNoCase(move->Target, GetLocalPath())) break;
            StopAllLeeches();
            auto* request = new CRelocInfo;
            request->source = GetLocalPath();
            request->target = move->Target;
            request->download = RefPtr<IDownload>(Self());
            request->statusToRestore = status_;
            request->reopen = file_.IsOpen() ? 1 : 0;
            const bool finished = IsFinished();
            SetStatus(DS_MOVING);
            if (downloaded_ == 0 && !finished) {
                // Nothing to carry: an empty pre-sized file of its own is dropped, the next write
                // creates the file at the new place. A finished file is carried whatever its size.
                CloseFile();
                if (ownFile_) DeleteLocalFile();
                request->reopen = 0;
                request->result = RELOC_DONE;
                OnRelocated(request);
            } else {
                CloseFile();
                relocating_ = true;  // before: an environment may answer at once
                if (!GetDownloadEnv()->Relocate(request)) {
                    request->result = RELOC_FAILED;
                    OnRelocated(request);
                }
            }
            break;
        }
        case DNLOP_OVERWRITE:
            overwriteConfirmed_ = 1;
            SetSuperStatus(DS_NONE);
            SetStatus(DS_WAITING);
            break;
        case kOpRestartFromZero:
            DoRestartFromZero();
            break;
        default:
            break;
    }
}

void CDownload::OnRelocated(CRelocInfo* request) {
    if (!request) return;
    relocating_ = false;
    if (request->result == RELOC_DONE) {
        const std::string& path = request->target;
        size_t slash = path.rfind('/');
        {
            CAutoCriticalSection guard(lock_);
            config_.LocalFolder = slash == std::string::npos ? std::string() : path.substr(0, slash);
            config_.FileName = slash == std::string::npos ? path : path.substr(slash + 1);
        }
        if (request->reopen) file_.OpenExisting(path);
        SetStatus(request->statusToRestore);
    } else if (request->result == RELOC_FAILED ||
               (request->result >= RELOC_ERR_OPEN_SOURCE && request->result <= RELOC_ERR_DELETE_SOURCE)) {
        SetStatus(DS_MOVING_FAILED);
    }
    delete request;
}

void CDownload::Remove() {
    if (relocating_) GetDownloadEnv()->CancelRelocation(Self());
    StopAllLeeches();
    CloseFile();
    if (config_.IsWholeFile()) DeleteLocalFile();
}

}  // namespace plover
