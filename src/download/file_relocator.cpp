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
    return Post(ROP_RELOCATE, reinterpret_cast<uintptr_t>(request), 0, false, false);
}

uint32_t CFileRelocator::Cancel(IDownload* download, bool wait) {
    if (!download) return 0;
    if (!wait) download->AddRef();  // a caller that does not wait may let it go meanwhile
    return Post(ROP_CANCEL, reinterpret_cast<uintptr_t>(download), 0, wait, false);
}

void CFileRelocator::Tick() { Post(kOpTick, 0, 0, true, false); }

void CFileRelocator::OnStart() {
    buffer_.resize(kRelocBlockSize);
    if (ticks_ != ETicks::Timer) return;
    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) AddEvent(timerFd_, kTimerCookie);
}

uint32_t CFileRelocator::OnOperation(uint32_t code, uintptr_t arg1, uintptr_t) {
    switch (code) {
        case ROP_RELOCATE:
            queue_.push_back(reinterpret_cast<CRelocInfo*>(arg1));
            UpdateTimer();
            return 0;
        case ROP_CANCEL: {
            auto* download = reinterpret_cast<IDownload*>(arg1);
            DoCancel(download);
            if (!IsCallerWaiting()) download->Release();
            return 0;
        }
        case kOpTick:
            DoTick();
            return 0;
        default:
            return 0;
    }
}

// An operation that will never run: a request goes back as failed (the download then shows
// "Moving failed" instead of waiting for ever), a cancel lets its download go.
void CFileRelocator::OnDiscard(uint32_t code, uintptr_t arg1, uintptr_t) {
    if (code == ROP_RELOCATE && arg1) {
        auto* request = reinterpret_cast<CRelocInfo*>(arg1);
        request->result = RELOC_FAILED;
        HandBack(request);
    } else if (code == ROP_CANCEL && arg1) {
        reinterpret_cast<IDownload*>(arg1)->Release();
    }
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
    if (StepRelocation(*request, buffer_.data(), buffer_.size(), rename_).progressed) ReportProgress(*request);
    if (request->result == RELOC_COPYING) return;
    queue_.pop_front();
    HandBack(request);
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

RefPtr<IEngine> CFileRelocator::DownloaderOf(CRelocInfo& request) {
    if (!request.downloader) GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, request.downloader.Put());
    return request.downloader;
}

void CFileRelocator::ReportProgress(CRelocInfo& request) {
    RefPtr<IEngine> downloader = DownloaderOf(request);
    if (!downloader || !request.download) return;
    auto* progress = new SRelocProgress;
    progress->done = uint32_t(std::min<uint64_t>(request.copied, 0xFFFFFFFFu));
    progress->total = uint32_t(std::min<uint64_t>(request.total, 0xFFFFFFFFu));
    progress->download = request.download;
    downloader->Post(DOP_RELOCATION_PROGRESS, reinterpret_cast<uintptr_t>(request.download.Get()),
                     reinterpret_cast<uintptr_t>(progress), false, false);
}

// From here on the downloader owns the request (a refused post frees it there).
void CFileRelocator::HandBack(CRelocInfo* request) {
    RefPtr<IEngine> downloader = DownloaderOf(*request);
    if (!downloader) {
        delete request;
        return;
    }
    downloader->Post(DOP_RELOCATED, reinterpret_cast<uintptr_t>(request), 0, false, false);
}

}  // namespace plover
