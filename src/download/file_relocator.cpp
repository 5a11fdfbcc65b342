#include "download/file_relocator.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>

#include "download/i_download.h"
#include "download/i_downloader.h"
#include "download/reloc_step.h"

namespace plover {
namespace {

constexpr uint32_t kOpTick = 303;  // Tick (tests)
constexpr uintptr_t kTimerCookie = 1;
constexpr long kTickNs = 1000000;  // 1 ms

RefPtr<IEngine> DownloaderOf(CRelocInfo& request) {
    if (!request.downloader) GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, request.downloader.Put());
    return request.downloader;
}

// From here on the downloader owns the request (a refused post frees it there).
void HandBack(std::unique_ptr<CRelocInfo> request) {
    if (RefPtr<IEngine> downloader = DownloaderOf(*request)) PostOwned(downloader.Get(), DOP_RELOCATED, std::move(request));
}

// A request on its way to the relocator. One that never runs goes back as failed (the download
// then shows "Moving failed" instead of waiting for ever).
struct SRelocTask {
    std::unique_ptr<CRelocInfo> request;
    SRelocTask(std::unique_ptr<CRelocInfo> r) : request(std::move(r)) {}
    SRelocTask(const SRelocTask&) = delete;
    SRelocTask& operator=(const SRelocTask&) = delete;
    ~SRelocTask() {
        if (!request) return;
        request->result = RELOC_FAILED;
        HandBack(std::move(request));
    }
};

}  // namespace

CFileRelocator::CFileRelocator(ETicks ticks, bool rename) : ticks_(ticks), rename_(rename) {}

CFileRelocator::~CFileRelocator() {
    for (CRelocInfo* request : queue_) delete request;  // abandoned: the source stays
    queue_.clear();
    if (timerFd_ >= 0) ::close(timerFd_);
}

HRESULT CFileRelocator::QueryInterface(const GUID& iid, void** out) {
    if (out && iid == IID_IFileRelocator) {
        *out = static_cast<IFileRelocator*>(this);
        AddRef();
        return S_OK;
    }
    return CEngine::QueryInterface(iid, out);
}

uint32_t CFileRelocator::Relocate(CRelocInfo* request) {
    if (!request) return 0;
    return PostOwned(this, ROP_RELOCATE, std::make_unique<SRelocTask>(std::unique_ptr<CRelocInfo>(request)));
}

uint32_t CFileRelocator::Cancel(IDownload* download, bool wait) {
    if (!download) return 0;
    // The record's reference keeps the download while a caller that does not wait lets it go.
    return PostOwned(this, ROP_CANCEL, std::make_unique<RefPtr<IDownload>>(download), 0, wait);
}

void CFileRelocator::Tick() { Post(kOpTick, 0, 0, true, false); }

void CFileRelocator::OnStart() {
    if (ticks_ != ETicks::Timer) return;
    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) AddEvent(timerFd_, kTimerCookie);
}

uint32_t CFileRelocator::OnOperation(uint32_t code, uintptr_t, uintptr_t) {
    if (code == kOpTick) DoTick();
    return 0;
}

uint32_t CFileRelocator::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) {
    if (code == ROP_RELOCATE) {
        if (SRelocTask* task = record.Get<SRelocTask>(); task && task->request) {
            queue_.push_back(task->request.release());
            UpdateTimer();
        }
    } else if (code == ROP_CANCEL) {
        if (RefPtr<IDownload>* download = record.Get<RefPtr<IDownload>>(); download && *download)
            DoCancel(download->Get());
    }
    return 0;
}

void CFileRelocator::OnEvent(uintptr_t cookie) {
    if (cookie != kTimerCookie) return;
    uint64_t expirations = 0;
    if (::read(timerFd_, &expirations, sizeof expirations) < 0) return;
    DoTick();  // one step however many ticks passed: the load stays bounded
}

void CFileRelocator::DoTick() {
    if (queue_.empty()) return;
    CRelocInfo* request = queue_.front();
    // The copy buffer is made on the first move: most runs move nothing, or only rename.
    if (buffer_.empty()) buffer_.resize(kRelocBlockSize);
    if (StepRelocation(*request, buffer_.data(), buffer_.size(), rename_).progressed) ReportProgress(*request);
    if (request->result == RELOC_COPYING) return;
    queue_.pop_front();
    HandBack(std::unique_ptr<CRelocInfo>(request));
    UpdateTimer();
}

void CFileRelocator::DoCancel(IDownload* download) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        IDownload* queued = (*it)->download.Get();
        if (!queued || (queued != download && !SameObject(queued, download))) continue;
        CRelocInfo* request = *it;
        queue_.erase(it);
        delete request;
        break;
    }
    UpdateTimer();
}

void CFileRelocator::UpdateTimer() {
    bool want = !queue_.empty() && timerFd_ >= 0;
    if (want == timerRunning_.load()) return;
    itimerspec spec{};
    if (want) spec.it_interval.tv_nsec = spec.it_value.tv_nsec = kTickNs;
    ::timerfd_settime(timerFd_, 0, &spec, nullptr);
    timerRunning_.store(want);
}

void CFileRelocator::ReportProgress(CRelocInfo& request) {
    RefPtr<IEngine> downloader = DownloaderOf(request);
    if (!downloader || !request.download) return;
    auto progress = std::make_unique<SRelocProgress>();
    progress->done = uint32_t(std::min<uint64_t>(request.copied, 0xFFFFFFFFu));
    progress->total = uint32_t(std::min<uint64_t>(request.total, 0xFFFFFFFFu));
    progress->download = request.download;
    PostOwned(downloader.Get(), DOP_RELOCATION_PROGRESS, std::move(progress));
}

}  // namespace plover
