#include "web/scan_doc.h"

#include "download/url_name.h"

namespace plover::web {

const char* MarkName(EDownloadMark mark) {
    switch (mark) {
        case EDownloadMark::OnDisk: return "disk";
        case EDownloadMark::Queued: return "queued";
        case EDownloadMark::None: break;
    }
    return "new";
}

const char* ScanStateName(EScanState state) {
    switch (state) {
        case EScanState::Idle: return "idle";
        case EScanState::Scanning: return "scanning";
        case EScanState::Done: return "done";
        case EScanState::Failed: return "failed";
        case EScanState::Stopped: return "stopped";
    }
    return "";
}

int CScanDoc::Begin(const std::string& url, const std::string& profile) {
    Stop();
    url_ = url;
    profile_ = profile;
    ++run_;
    scanner_ = nullptr;
    closed_ = false;
    state_ = EScanState::Scanning;
    title_.clear();
    error_.clear();
    startUrl_ = url;
    items_.clear();
    byKey_.clear();
    byThumbUrl_.clear();
    waiting_.clear();
    counts_[0] = counts_[1] = counts_[2] = 0;
    thumbsFetched_ = thumbsTold_ = 0;
    told_ = 0;
    thumbs_.clear();
    marks_.clear();
    stateChanged_ = true;
    loginChanged_ = true;
    return run_;
}

void CScanDoc::Fail(const std::string& error) {
    state_ = EScanState::Failed;
    error_ = error;
    stateChanged_ = true;
}

void CScanDoc::CloseScanner() {
    if (scanner_ && !closed_) scanner_->Close();
    closed_ = true;
}

void CScanDoc::Stop() {
    CloseScanner();
    if (state_ == EScanState::Scanning) {
        state_ = EScanState::Stopped;
        stateChanged_ = true;
    }
    // Nobody will be asked for the stopped run's logins any more.
    for (RefPtr<IDownload>& d : waiting_) d->CancelAuthorization();
    if (!waiting_.empty()) loginChanged_ = true;
    waiting_.clear();
}

void CScanDoc::Index(size_t i) {
    const SScanItem& item = items_[i];
    byKey_[item.key].push_back(i);
    if (item.type == SCAN_THUMBNAIL && !item.thumbUrl.empty()) byThumbUrl_.emplace(item.thumbUrl, i);
}

void CScanDoc::OnElement(std::unique_ptr<SScanElement> e, EDownloadMark mark) {
    SScanItem item;
    item.type = e->GetType();
    item.url = std::move(e->url);
    item.key = StorableAddress(item.url);
    item.text = std::move(e->text);
    item.page = std::move(e->pageUrl);
    item.pageTitle = std::move(e->pageTitle);
    if (item.type == SCAN_THUMBNAIL) item.thumbUrl = static_cast<SScanThumbnail&>(*e).thumbnailUrl;
    item.mark = mark;
    ++counts_[item.type];
    items_.push_back(std::move(item));
    Index(items_.size() - 1);
    stateChanged_ = true;
}

void CScanDoc::OnThumbFetched(const std::string& url, const std::string& path) {
    auto it = byThumbUrl_.find(url);
    if (it == byThumbUrl_.end()) return;
    items_[it->second].thumbFile = path;
    thumbs_.push_back(it->second);
    byThumbUrl_.erase(it);
    ++thumbsFetched_;
}

void CScanDoc::OnTitle() {
    if (scanner_) title_ = scanner_->GetPageTitle();
    stateChanged_ = true;
}

void CScanDoc::OnFailed() {
    state_ = EScanState::Failed;
    if (scanner_) error_ = scanner_->GetErrorText();
    stateChanged_ = true;
}

void CScanDoc::OnRedirected() {
    if (scanner_) startUrl_ = scanner_->GetStartURL();
    stateChanged_ = true;
}

void CScanDoc::OnEnded() {
    if (state_ == EScanState::Scanning) state_ = EScanState::Done;
    CloseScanner();
    stateChanged_ = true;
}

void CScanDoc::OnWaiting(RefPtr<IDownload> download) {
    if (!download) return;
    waiting_.push_back(std::move(download));
    loginChanged_ = true;
}

void CScanDoc::Answered() {
    if (!waiting_.empty()) waiting_.pop_front();
    loginChanged_ = true;
}

const std::vector<size_t>* CScanDoc::ItemsOf(const std::string& key) const {
    auto it = byKey_.find(key);
    return it == byKey_.end() ? nullptr : &it->second;
}

void CScanDoc::SetMark(size_t item, EDownloadMark mark) {
    if (item >= items_.size() || items_[item].mark == mark) return;
    items_[item].mark = mark;
    if (item < told_) marks_.push_back(item);  // an item not yet told goes out with its new mark
}

nlohmann::json CScanDoc::StateJson() const {
    nlohmann::json j = {{"id", id_},
                        {"run", run_},
                        {"url", url_},
                        {"startUrl", startUrl_},
                        {"profile", profile_},
                        {"title", title_},
                        {"state", ScanStateName(state_)},
                        {"error", error_},
                        {"thumbnails", counts_[SCAN_THUMBNAIL]},
                        {"pictures", counts_[SCAN_LARGE_PIC]},
                        {"links", counts_[SCAN_PAGE_LINK]},
                        {"thumbsFetched", thumbsFetched_},
                        {"items", items_.size()},
                        {"pages", scanner_ ? scanner_->GetPagesScanned() : 0},
                        {"remaining", state_ == EScanState::Scanning && scanner_ ? scanner_->GetRemainingCount() : 0}};
    if (RefPtr<IDownload> d = Waiting()) {
        j["login"] = {{"server", d->GetServer()}, {"name", d->GetFileName()}, {"url", d->GetRemoteUrl()}};
    }
    return j;
}

nlohmann::json CScanDoc::ItemsJson(size_t from, size_t count, bool detail) const {
    static const char* const kKinds[] = {"thumbnail", "picture", "link"};
    nlohmann::json out = nlohmann::json::array();
    size_t end = std::min(items_.size(), from + count);
    for (size_t i = from; i < end; ++i) {
        const SScanItem& item = items_[i];
        nlohmann::json j = {{"kind", kKinds[item.type]}, {"url", item.url}, {"page", item.page}, {"mark", MarkName(item.mark)}};
        if (!item.text.empty()) j["text"] = item.text;
        if (item.type == SCAN_THUMBNAIL) j["thumb"] = !item.thumbFile.empty();
        if (detail) {
            j["pageTitle"] = item.pageTitle;
            if (item.type == SCAN_THUMBNAIL) j["thumbUrl"] = item.thumbUrl;
            if (!item.thumbFile.empty()) j["thumbFile"] = item.thumbFile;
        }
        out.push_back(std::move(j));
    }
    return out;
}

CScanDoc::SChanges CScanDoc::TakeChanges() {
    SChanges c;
    c.state = std::exchange(stateChanged_, false);
    c.itemsFrom = told_;
    c.itemsTo = told_ = items_.size();
    // A small picture fetched for an item that goes out now is told with it.
    for (size_t i : thumbs_)
        if (i < c.itemsFrom) c.thumbs.push_back(i);
    thumbs_.clear();
    c.marks.swap(marks_);
    c.login = std::exchange(loginChanged_, false);
    return c;
}

}  // namespace plover::web
