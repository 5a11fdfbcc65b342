#include "cli/cli_kit.h"
#include "cli/basket_session.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "baskets/basket.h"
#include "baskets/download_db.h"
#include "baskets/download_db_sink.h"
#include "cli/download_format.h"
#include "download/download_status.h"
#include "download/downloader.h"
#include "download/i_download.h"
#include "download/url_name.h"
#include "engine/engine_mgr.h"
#include "platform/tick.h"

namespace plover::cli {

// Hears the downloader: every basket download taken out of the list goes to the main window,
// with the last failure it reported (the downloader may have moved it on to "Waiting" for a
// retry by the time it is taken out).
class CBasketSession::CSink final : public CCommandNetSink {
public:
    explicit CSink(HWND window) : window_(window) {}
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override {
        if (code != NE_DOWNLOAD_REMOVED && code != NE_STATUS && code != NE_SUPER_STATUS) return 0;
        RefPtr<IDownload> d = QueryAs<IDownload>(reinterpret_cast<IUnknown*>(value1), IID_IDownload);
        if (!d || !IsBasketClient(d->GetClientID())) return 0;
        std::lock_guard g(lock_);
        if (code != NE_DOWNLOAD_REMOVED) {
            if (IsFailedStatus(DownloadStatus(value2))) failures_[d.Get()] = DownloadStatus(value2);
            return 0;
        }
        DownloadStatus failure = 0;
        auto it = failures_.find(d.Get());
        if (it != failures_.end()) {
            failure = it->second;
            failures_.erase(it);
        }
        IDownload* raw = d.Detach();
        if (!PostMessage(window_, WM_BASKET_SESSION_REMOVED, reinterpret_cast<WPARAM>(raw), failure)) raw->Release();
        return 0;
    }

private:
    HWND window_;
    std::mutex lock_;
    std::map<IDownload*, DownloadStatus> failures_;  // keys are only compared, never used
};

CBasketSession::CBasketSession(CCliApp& app, CBasket& basket, uint32_t pauseMs)
    : CBasketSession(app.App().MainWindow(), basket, pauseMs) {}

CBasketSession::CBasketSession(HWND window, CBasket& basket, uint32_t pauseMs)
    : window_(window), basket_(basket), pauseMs_(pauseMs) {}

CBasketSession::~CBasketSession() { Stop(); }

bool CBasketSession::Start() {
    downloader_ = DownloaderOrSay();
    if (!downloader_) return false;
    HWND window = window_;
    GetDownloadDB().SetMainWindow(window);
    sink_ = std::make_unique<CSink>(window);
    downloader_->Advise(sink_.get());
    batch_ = std::make_unique<CBasketBatch>(basket_, SDispatchEnv{&GetDownloadDB(), downloader_.Get(), window}, window,
                                            pauseMs_);
    lastTick_ = GetTickCount();
    return true;
}

void CBasketSession::Add(const SBasketItem& item) {
    if (!batch_ || !seen_.insert(StorableAddress(item.url)).second) return;
    batch_->Add(item);
}

void CBasketSession::Finish() {
    if (batch_) batch_->Finish();
}

void CBasketSession::Stop() {
    if (stopped_) return;
    stopped_ = true;
    if (batch_) {
        batch_->Cancel();
        batch_->Join();
    }
    if (downloader_ && sink_) downloader_->Unadvise(sink_.get());
}

bool CBasketSession::Done() const {
    if (!batchDone_) return false;
    if (!noFolder_.empty()) return true;  // nothing that is still under way can land anywhere
    for (const STrack& t : tracks_)
        if (!t.ended) return false;
    return true;
}

bool CBasketSession::OnMessage(const SWindowMessage& m) {
    switch (m.msg) {
        case WM_PV_BASKET_ITEM_DONE: {
            std::unique_ptr<SBasketItemDone> done(reinterpret_cast<SBasketItemDone*>(m.wp));
            if (!stopped_) OnItemDone(*done);
            return true;
        }
        case WM_PV_BASKET_BATCH_DONE: batchDone_ = true; return true;
        case WM_BASKET_SESSION_REMOVED: {
            auto d = RefPtr<IDownload>::Adopt(reinterpret_cast<IDownload*>(m.wp));
            if (!stopped_) OnRemoved(std::move(d), DownloadStatus(m.lp));
            return true;
        }
        case WM_PV_HISTORY_CHANGED: return true;
    }
    return false;
}

void CBasketSession::OnItemDone(SBasketItemDone& done) {
    ++dispatched_;
    const std::string& url = done.item.url;
    SDispatchResult& r = done.result;
    switch (r.result) {
        case EDispatch::Downloading: Follow(done.item, r.download, false); break;
        case EDispatch::Moved:
            ++moved_;
            Note(url, "moved", r.path, r.from);
            break;
        case EDispatch::AlreadyThere:
            ++inBasket_;
            Note(url, "in basket", r.path);
            break;
        case EDispatch::Duplicate: FollowQueued(done.item); break;
        case EDispatch::NoFolder:
            // Said once; no later item could go in either.
            if (noFolder_.empty()) {
                noFolder_ = r.message;
                if (batch_) batch_->Cancel();
            }
            break;
        case EDispatch::Refused:
        case EDispatch::MoveFailed:
        case EDispatch::Failed: Fail(url, r.message); break;
    }
}

void CBasketSession::Follow(const SBasketItem& item, RefPtr<IDownload> download, bool queued) {
    IDownload* key = download.Get();
    if (byDownload_.count(key)) return;
    STrack t;
    t.item = item;
    t.download = std::move(download);
    t.queued = queued;
    byDownload_[key] = tracks_.size();
    tracks_.push_back(std::move(t));
    auto early = removedEarly_.find(key);
    if (early != removedEarly_.end()) {
        tracks_.back().failure = early->second.second;
        removedEarly_.erase(early);
        End(tracks_.back());
    }
}

void CBasketSession::FollowQueued(const SBasketItem& item) {
    std::string url = StorableAddress(item.url);
    std::unique_ptr<CDownloadArray> all(downloader_->GetDownloadArray(nullptr));
    RefPtr<IDownload> found;
    if (all)
        for (IDownload* d : *all)
            if ((d->GetOriginalUrl() == url || d->GetRemoteUrl() == url) &&
                KeepsOutSameAddress(d->GetClientID(), d->GetStatus(), basket_.GetClientID()))
                found = RefPtr<IDownload>(d);
    if (found && found->GetClientID() == basket_.GetClientID()) {
        // This basket's own download from an earlier run: it lands here, so it is waited for.
        ++queued_;
        if (found->IsPaused()) found->Resume();
        Follow(item, found, true);
        return;
    }
    // Another basket's or the user's download holds the address (or it ended meanwhile): the
    // picture does not come into this basket.
    std::string path = found ? found->GetLocalPath() : std::string();
    elsewhere_.emplace_back(item.url, path);
    Note(item.url, "queued elsewhere", path);
}

void CBasketSession::OnRemoved(RefPtr<IDownload> download, DownloadStatus failure) {
    auto it = byDownload_.find(download.Get());
    if (it == byDownload_.end()) {
        removedEarly_[download.Get()] = {download, failure};
        return;
    }
    tracks_[it->second].failure = failure;
    End(tracks_[it->second]);
}

void CBasketSession::End(STrack& t) {
    if (t.ended) return;
    t.ended = true;
    IDownload* d = t.download.Get();
    if (d->IsFinished()) {
        if (t.queued) {
            ++queuedFinished_;
            Note(t.item.url, "queued", d->GetLocalPath());
        } else if (std::string kept = GetDownloadDB().Lookup(d->GetOriginalUrl());
                   !kept.empty() && kept != d->GetLocalPath()) {
            ++samePicture_;  // its file was deleted: the history points at the one already there
            Note(t.item.url, "same picture", kept);
        } else {
            ++downloaded_;
            bytes_ += d->GetDownloaded();
            Note(t.item.url, "downloaded", d->GetLocalPath());
        }
        return;
    }
    DownloadStatus st = d->GetStatus(), sup = d->GetSuperStatus();
    // A download that waits for the user says why beside that state ("Can't create file").
    DownloadStatus why = t.failure                                     ? t.failure
                         : st == DS_WAIT_FOR_USER && sup != DS_NONE    ? sup
                         : IsFailedStatus(st) || sup == DS_NONE        ? st
                                                                       : sup;
    // The basket's folder went away during the run: said once, as at the start of a run.
    std::error_code ec;
    if (why == DS_CANT_CREATE_FILE && noFolder_.empty() && !std::filesystem::is_directory(basket_.csRootFolder, ec))
        noFolder_ = CantCreateFolderMessage(basket_.csRootFolder);
    Fail(t.item.url, StatusText(why));
}

void CBasketSession::Fail(const std::string& url, const std::string& why) {
    failures_.emplace_back(url, why);
    Note(url, "failed", std::string(), why);
}

void CBasketSession::Note(const std::string& url, const char* result, const std::string& path,
                          const std::string& reason) {
    outcomes_.push_back({url, result, path, reason});
}

std::string CBasketSession::ProgressLine() {
    uint64_t bytes = 0;
    size_t ended = 0, active = 0;
    for (const STrack& t : tracks_) {
        bytes += t.download->GetDownloaded();
        if (t.ended)
            ++ended;
        else if (t.download->GetLeechCount() > 0)
            ++active;
    }
    uint32_t now = GetTickCount();
    if (now - lastTick_ >= 1000) {
        speed_ = (bytes - std::min(bytes, lastBytes_)) * 1000 / (now - lastTick_);
        lastBytes_ = bytes;
        lastTick_ = now;
    }
    std::string line = std::to_string(ended) + "/" + std::to_string(tracks_.size()) + " files, " + FormatBytes(bytes);
    if (active) line += ", " + FormatSpeed(speed_) + ", " + std::to_string(active) + " active";
    if (moved_) line += ", " + std::to_string(moved_) + " moved";
    if (inBasket_ + samePicture_) line += ", " + std::to_string(inBasket_ + samePicture_) + " already in the basket";
    if (!failures_.empty()) line += ", " + std::to_string(failures_.size()) + " failed";
    if (dispatched_ < seen_.size())
        line += " (" + std::to_string(seen_.size() - dispatched_) + " to hand to the basket)";
    return line;
}

void CBasketSession::PrintSummary(std::ostream& out, bool json, bool colour) const {
    if (json) {
        using nlohmann::json;
        auto line = [&](const json& j) { out << j.dump(-1, ' ', false, json::error_handler_t::replace) << "\n"; };
        for (const SOutcome& o : outcomes_) {
            json j = {{"type", "item"}, {"url", o.url}, {"result", o.result}};
            if (!o.path.empty()) j["path"] = o.path;
            if (!o.reason.empty()) j[o.result == "moved" ? "from" : "reason"] = o.reason;
            line(j);
        }
        json failed = json::array();
        for (const auto& [url, why] : failures_) failed.push_back({{"url", url}, {"status", why}});
        json elsewhere = json::array();
        for (const auto& [url, path] : elsewhere_) elsewhere.push_back({{"url", url}, {"path", path}});
        json summary = {{"type", "summary"},
                        {"basket", basket_.csName},
                        {"folder", basket_.csRootFolder},
                        {"downloaded", downloaded_},
                        {"bytes", bytes_},
                        {"moved", moved_},
                        {"alreadyInBasket", inBasket_},
                        {"samePicture", samePicture_},
                        {"alreadyQueued", queued_},
                        {"queuedElsewhere", elsewhere},
                        {"failed", failed}};
        if (!otherFormats_.empty()) summary["otherFormats"] = otherFormats_;
        if (!noFolder_.empty()) summary["error"] = noFolder_;
        line(summary);
        return;
    }
    auto row = [&](const std::string& what, int n, const std::string& more = {}, std::optional<ETone> tone = {}) {
        // Padded by the word's own length: colour codes take no room on the terminal.
        std::string word = tone && n > 0 ? Paint(what, *tone, colour) : what;
        out << "  " << word << std::string(what.size() < 24 ? 24 - what.size() : 2, ' ') << n << more << "\n";
    };
    out << "Basket \"" << basket_.csName << "\" (" << basket_.csRootFolder << "):\n";
    row("downloaded", downloaded_, downloaded_ ? "  (" + FormatBytes(bytes_) + ")" : std::string(), ETone::Good);
    row("moved from elsewhere", moved_);
    row("already in the basket", inBasket_);
    if (samePicture_) row("already in the basket (same picture)", samePicture_);
    row("already queued", queued_,
        queued_ ? "  (" + std::to_string(queuedFinished_) + " finished now)" : std::string());
    row("queued elsewhere", int(elsewhere_.size()),
        elsewhere_.empty() ? std::string() : "  (not collected: another download of the address is queued)");
    for (const auto& [url, path] : elsewhere_) out << "    " << url << (path.empty() ? "" : ": " + path) << "\n";
    row("failed", int(failures_.size()), {}, ETone::Bad);
    size_t unsaved = 0;  // files that had no folder to go to: told once below
    for (const auto& [url, why] : failures_) {
        if (!noFolder_.empty() && why == StatusText(DS_CANT_CREATE_FILE))
            ++unsaved;
        else
            out << "    " << url << ": " << why << "\n";
    }
    if (unsaved) out << "    " << unsaved << (unsaved == 1 ? " file" : " files") << " with no folder to go to\n";
    if (!otherFormats_.empty()) {
        int links = 0;
        std::string formats;
        for (const auto& [format, n] : otherFormats_) {
            links += n;
            formats += (formats.empty() ? "" : ", ") + format;
        }
        row("other formats skipped", links,
            "  (links to " + formats +
                " pictures; only JPEG, PNG, TIFF, BMP, PCX, WebP and AVIF are collected: plover scan lists "
                "them, plover get downloads them)");
    }
    if (!noFolder_.empty())
        out << noFolder_ << "\n"
            << "The basket's folder does not exist (removed, or on a disk that is not mounted); plover basket edit \""
            << basket_.csName << "\" --folder DIR gives it another.\n";
    else if (seen_.empty())
        out << "Nothing to collect.\n";
    else if (downloaded_ == 0 && moved_ == 0 && queued_ == 0 && samePicture_ == 0 && AllCollected())
        out << "Nothing new to download: every file is already in the basket.\n";
}

}  // namespace plover::cli
