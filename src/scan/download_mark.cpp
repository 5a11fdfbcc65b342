#include "scan/download_mark.h"

#include <memory>
#include <mutex>

namespace plover {
namespace {

std::mutex& SourceLock() {
    static std::mutex lock;
    return lock;
}

std::shared_ptr<const DownloadMarkSource>& Source() {
    static std::shared_ptr<const DownloadMarkSource> source;
    return source;
}

}  // namespace

void SetDownloadMarkSource(DownloadMarkSource source) {
    auto next = source ? std::make_shared<const DownloadMarkSource>(std::move(source)) : nullptr;
    std::lock_guard g(SourceLock());
    Source() = std::move(next);
}

EDownloadMark GetDownloadMark(const std::string& url) {
    std::shared_ptr<const DownloadMarkSource> source;
    {
        std::lock_guard g(SourceLock());
        source = Source();
    }
    // Called outside the lock: the lookup may take its own locks.
    return source ? (*source)(url) : EDownloadMark::None;
}

const char* DownloadMarkText(EDownloadMark mark) {
    switch (mark) {
        case EDownloadMark::OnDisk: return "on disk";
        case EDownloadMark::Queued: return "queued";
        case EDownloadMark::None: break;
    }
    return "";
}

}  // namespace plover
