#include "web/web_model.h"

#include <utility>

#include "app/settings.h"
#include "web/download_json.h"

namespace plover::web {

HRESULT CWebModel::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

int32_t CWebModel::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) {
    if (code == NE_TRAFFIC) {
        trafficBytes_ += value1;
        return 0;
    }
    if (code == NE_LOG) {
        if (!value1) return 0;
        std::lock_guard g(lock_);
        if (newLog_.size() < kLogLines) newLog_.push_back({0, uint32_t(value2), reinterpret_cast<const char*>(value1)});
        return 0;
    }
    if (code == NE_ORDER_CHANGED) {
        std::lock_guard g(lock_);
        orderChanged_ = true;
        return 0;
    }
    if (!IsDownloadEvent(code) || !value1) return 0;
    RefPtr<IDownload> d = QueryAs<IDownload>(reinterpret_cast<IDownload*>(value1), IID_IDownload);
    if (!d || !ShownInDownloadList(d->GetClientID())) return 0;
    int id = d->GetID();
    std::lock_guard g(lock_);
    if (code == NE_DOWNLOAD_REMOVED) {
        changed_.erase(id);
        removed_.insert(id);
    } else {
        removed_.erase(id);
        changed_[id] = std::move(d);
        if (code == NE_DOWNLOAD_ADDED) orderChanged_ = true;
    }
    return 0;
}

bool CWebModel::PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) {
    std::lock_guard g(lock_);
    messages_.push_back({msg, wp, lp});
    return true;
}

void CWebModel::TakeMessages() {
    std::deque<SWindowMessage> messages;
    {
        std::lock_guard g(lock_);
        messages.swap(messages_);
    }
    for (const SWindowMessage& m : messages) {
        // The download arrays are the receiver's to free; the list itself is read directly.
        if (m.msg == WM_PV_DOWNLOAD_ARRAY || m.msg == WM_PV_DOWNLOAD_VIEW)
            delete reinterpret_cast<CDownloadArray*>(m.wp);
    }
}

RefPtr<IDownload> CWebModel::FindDownload(int id) {
    // The downloader looks it up on its own thread in one pass; walking the list by index from
    // here would copy the list's handle and count every download once per command.
    RefPtr<IDownload> d;
    if (!downloader_->FindDownloadByID(id, d.Put())) return nullptr;
    return d;
}

nlohmann::json CWebModel::Traffic() {
    return {{"speed", speed_.load()},
            {"active", downloader_->GetActiveCount()},
            {"count", downloader_->GetDownloadCount()},
            {"finished", downloader_->GetFinishedCount()},
            {"failed", downloader_->GetFailedCount()},
            {"mode", GetSettings().eTrafficMode}};
}

void CWebModel::Pump(uint64_t nowMs) {
    TakeMessages();
    std::map<int, RefPtr<IDownload>> changed;
    std::set<int> removed;
    std::deque<SLogLine> lines;
    bool order;
    {
        std::lock_guard g(lock_);
        changed.swap(changed_);
        removed.swap(removed_);
        lines.swap(newLog_);
        order = std::exchange(orderChanged_, false);
    }
    if (!changed.empty()) {
        std::vector<SCategoryProp> categories = ListCategories();
        for (auto& [id, d] : changed) hub_.Publish(SseEvent("download", DownloadJson(d.Get(), categories).dump()));
    }
    for (int id : removed) hub_.Publish(SseEvent("removed", nlohmann::json{{"id", id}}.dump()));
    if (order) {
        nlohmann::json ids = nlohmann::json::array();
        int n = downloader_->GetDownloadCount();
        for (int i = 0; i < n; ++i) {
            RefPtr<IDownload> d;
            if (downloader_->GetDownload(i, d.Put()) && d && ShownInDownloadList(d->GetClientID()))
                ids.push_back(d->GetID());
        }
        hub_.Publish(SseEvent("order", ids.dump()));
    }
    if (!lines.empty()) {
        nlohmann::json batch = nlohmann::json::array();
        std::lock_guard g(logLock_);
        for (SLogLine& l : lines) {
            l.seq = nextSeq_++;
            batch.push_back(LogLineJson(l.seq, l.kind, l.text));
            log_.push_back(std::move(l));
            if (log_.size() > kLogLines) log_.pop_front();
        }
        hub_.Publish(SseEvent("log", batch.dump()));
    }
    bool tick = nowMs - lastTrafficMs_ >= 1000;
    if (tick) {
        uint64_t bytes = trafficBytes_.exchange(0);
        uint64_t elapsed = lastTrafficMs_ ? nowMs - lastTrafficMs_ : 1000;
        speed_ = uint32_t(bytes * 1000 / (elapsed ? elapsed : 1));
        lastTrafficMs_ = nowMs;
    }
    // The counts of the status bar follow every change of the list at once, the speed each second.
    if (tick || !changed.empty() || !removed.empty()) hub_.Publish(SseEvent("traffic", Traffic().dump()));
}

nlohmann::json CWebModel::Snapshot() {
    nlohmann::json downloads = nlohmann::json::array();
    std::vector<SCategoryProp> categories = ListCategories();
    int n = downloader_->GetDownloadCount();
    for (int i = 0; i < n; ++i) {
        RefPtr<IDownload> d;
        if (downloader_->GetDownload(i, d.Put()) && d && ShownInDownloadList(d->GetClientID()))
            downloads.push_back(DownloadJson(d.Get(), categories));
    }
    nlohmann::json log = nlohmann::json::array();
    {
        std::lock_guard g(logLock_);
        for (const SLogLine& l : log_) log.push_back(LogLineJson(l.seq, l.kind, l.text));
    }
    // Moved in, not listed in braces: a braced list would copy ten thousand downloads once more.
    nlohmann::json out = nlohmann::json::object();
    out["downloads"] = std::move(downloads);
    out["traffic"] = Traffic();
    out["log"] = std::move(log);
    out["categories"] = CategoriesJson(categories);
    return out;
}

}  // namespace plover::web
