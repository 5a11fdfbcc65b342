#include "web/scan_service.h"

#include <chrono>
#include <random>

#include "baskets/download_db.h"
#include "baskets/download_db_sink.h"
#include "baskets/download_tips.h"
#include "download/url_name.h"
#include "engine/engine_mgr.h"
#include "scan/page_mgr.h"

namespace plover::web {

// A window of one run or one send: what it is posted goes to the service with its route.
class CScanService::CRoute final : public IWindow {
public:
    CRoute(CScanService& service, ERoute route, int id, int run) : service_(service), route_(route), id_(id), run_(run) {}
    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override {
        return service_.Note({route_, id_, run_, {msg, wp, lp}});
    }

private:
    CScanService& service_;
    ERoute route_;
    int id_, run_;
};

// A preview download left the list (wp = new std::string: its address as the history stores it).
constexpr uint32_t WM_SCAN_PREVIEW_ENDED = WM_APP + 0x7B0;

CScanService::CScanService(CEventHub& hub, RefPtr<IDownloader> downloader)
    : hub_(hub), downloader_(std::move(downloader)) {
    std::random_device random;
    char text[17];
    snprintf(text, sizeof text, "%08x%08x", random(), random());
    nonce_ = text;
}

CScanService::~CScanService() { Stop(); }

void CScanService::Start() {
    previewFolder_ = ProgramPreviewFolder();
    RefPtr<IEngine> engine;
    if (GetEngineMgr()->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put()))
        if (auto* pages = dynamic_cast<CPageMgr*>(engine.Get())) cacheFolder_ = pages->GetCacheFolder();
    GetDownloadDB().RegisterWindow(this);
    if (downloader_) downloader_->Advise(this);
    thread_ = std::thread([this] { Loop(); });
}

void CScanService::Stop() {
    {
        std::lock_guard g(noteLock_);
        if (stopped_) return;
    }
    GetDownloadDB().UnregisterWindow(this);
    if (downloader_) downloader_->Unadvise(this);
    {
        std::lock_guard g(docsLock_);
        for (auto& [id, doc] : docs_) doc->Stop();
        for (auto& [id, send] : sends_)
            if (send->batch) {
                send->batch->Cancel();
                send->batch->Join();
            }
    }
    {
        std::lock_guard g(loopLock_);
        ending_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::deque<SNote> left;
    {
        std::lock_guard g(noteLock_);
        stopped_ = true;
        left.swap(notes_);
    }
    for (const SNote& n : left) FreeNote(n);
    std::lock_guard g(docsLock_);
    sends_.clear();
}

bool CScanService::PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) { return Note({ERoute::Service, 0, 0, {msg, wp, lp}}); }

HRESULT CScanService::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_INetAdviseSink) {
        *out = static_cast<INetAdviseSink*>(this);
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

int32_t CScanService::OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t) {
    if (code != NE_DOWNLOAD_REMOVED || !value1) return 0;
    RefPtr<IDownload> d = QueryAs<IDownload>(reinterpret_cast<IUnknown*>(value1), IID_IDownload);
    if (!d || d->GetClientID() != kPreviewClient) return 0;
    auto* key = new std::string(StorableAddress(d->GetOriginalUrl()));
    PostMessage(WM_SCAN_PREVIEW_ENDED, reinterpret_cast<WPARAM>(key), 0);
    return 0;
}

bool CScanService::Note(const SNote& note) {
    std::lock_guard g(noteLock_);
    if (stopped_) {
        FreeNote(note);  // nobody reads it any more; taken all the same, as its sender expects
        return true;
    }
    notes_.push_back(note);
    return true;
}

void CScanService::FreeNote(const SNote& n) {
    const SWindowMessage& m = n.m;
    if (m.msg == WM_SCAN_PREVIEW_ENDED) return delete reinterpret_cast<std::string*>(m.wp);
    FreeScanNotice(m.msg, m.wp, m.lp);
    FreeBasketBatchNotice(m.msg, m.wp, m.lp);
    FreeDownloadDBNotice(m.msg, m.wp, m.lp);
}

HWND CScanService::NewWindow(ERoute route, int id, int run) {
    std::lock_guard g(noteLock_);
    windows_.push_back(std::make_unique<CRoute>(*this, route, id, run));
    return windows_.back().get();
}

void CScanService::Loop() {
    for (;;) {
        {
            std::unique_lock l(loopLock_);
            wake_.wait_for(l, std::chrono::milliseconds(100), [this] { return ending_; });
            if (ending_) return;
        }
        std::deque<SNote> notes;
        {
            std::lock_guard g(noteLock_);
            notes.swap(notes_);
        }
        std::lock_guard g(docsLock_);
        for (const SNote& n : notes) Apply(n);
        Publish();
    }
}

void CScanService::Apply(const SNote& n) {
    const SWindowMessage& m = n.m;
    switch (n.route) {
        case ERoute::Run: {
            auto it = docs_.find(n.id);
            if (it == docs_.end() || it->second->Run() != n.run) return FreeNote(n);  // closed, or an older run
            return ApplyScanNotice(*it->second, m);
        }
        case ERoute::Send: {
            auto it = sends_.find(n.id);
            if (m.msg == WM_PV_BASKET_ITEM_DONE) {
                std::unique_ptr<SBasketItemDone> done(reinterpret_cast<SBasketItemDone*>(m.wp));
                if (it != sends_.end() && done) ApplyItemDone(*it->second, *done);
            } else if (m.msg == WM_PV_BASKET_BATCH_DONE && it != sends_.end()) {
                SSend& s = *it->second;
                s.ended = s.changed = true;
                if (s.batch) s.batch->Join();
                s.batch.reset();
            }
            return;
        }
        case ERoute::Service: break;
    }
    switch (m.msg) {
        case WM_PV_ADDRESS_QUEUED:
        case WM_PV_ADDRESS_DEQUEUED:
        case WM_PV_FILE_RECORDED: {
            std::unique_ptr<std::string> key(reinterpret_cast<std::string*>(m.wp));
            if (key) ApplyAddress(m.msg, *key);
            return;
        }
        case WM_PV_HISTORY_CHANGED: return RemarkAll();
        case WM_SCAN_PREVIEW_ENDED: {
            std::unique_ptr<std::string> key(reinterpret_cast<std::string*>(m.wp));
            if (key) PreviewEnded(*key);
            return;
        }
        default: FreeNote(n); return;
    }
}

void CScanService::ApplyScanNotice(CScanDoc& doc, const SWindowMessage& m) {
    switch (m.msg) {
        case WM_SCAN_ELEMENT: {
            std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m.wp));
            if (!e) return;
            EDownloadMark mark = GetDownloadMark(e->url);
            doc.OnElement(std::move(e), mark);
            return;
        }
        case WM_SCAN_THUMB_FETCHED: {
            std::unique_ptr<std::string> url(reinterpret_cast<std::string*>(m.wp));
            std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(m.lp));
            if (url && path) doc.OnThumbFetched(*url, *path);
            return;
        }
        case WM_SCAN_TITLE: return doc.OnTitle();
        case WM_SCAN_FAILED: return doc.OnFailed();
        case WM_SCAN_REDIRECTED: return doc.OnRedirected();
        case WM_SCAN_ENDED: return doc.OnEnded();
        case WM_SCAN_WAITING: return doc.OnWaiting(RefPtr<IDownload>::Adopt(reinterpret_cast<IDownload*>(m.wp)));
        default: FreeScanNotice(m.msg, m.wp, m.lp); return;
    }
}

void CScanService::ApplyAddress(uint32_t msg, const std::string& key) {
    for (auto& [id, doc] : docs_)
        if (const std::vector<size_t>* items = doc->ItemsOf(key))
            for (size_t i : *items) doc->SetMark(i, GetDownloadMark(doc->Items()[i].url));
    if (msg != WM_PV_FILE_RECORDED) return;
    auto waiting = previews_.find(key);
    if (waiting == previews_.end()) return;
    for (auto [doc, item] : waiting->second) previewEvents_.push_back({{"doc", doc}, {"item", item}, {"state", "ready"}});
    previews_.erase(waiting);
}

void CScanService::RemarkAll() {
    for (auto& [id, doc] : docs_)
        for (size_t i = 0; i < doc->Items().size(); ++i) doc->SetMark(i, GetDownloadMark(doc->Items()[i].url));
}

void CScanService::PreviewEnded(const std::string& key) {
    auto waiting = previews_.find(key);
    if (waiting == previews_.end()) return;
    // Recorded first when it finished; otherwise it failed or was deleted.
    if (!GetDownloadDB().Lookup(key).empty()) return;
    for (auto [doc, item] : waiting->second)
        previewEvents_.push_back(
            {{"doc", doc}, {"item", item}, {"state", "failed"}, {"error", "The picture could not be fetched."}});
    previews_.erase(waiting);
}

void CScanService::Publish() {
    using nlohmann::json;
    auto publish = [this](const char* name, const json& data) {
        hub_.Publish(SseEvent(name, data.dump(-1, ' ', false, json::error_handler_t::replace)));
    };
    // The counters of a running scan move on their own: told twice a second.
    bool counters = ++ticks_ % 5 == 0;
    for (auto& [id, doc] : docs_) {
        CScanDoc::SChanges c = doc->TakeChanges();
        for (size_t from = c.itemsFrom; from < c.itemsTo; from += kItemsPerEvent)
            publish("scanItems",
                    {{"doc", id}, {"run", doc->Run()}, {"from", from}, {"items", doc->ItemsJson(from, kItemsPerEvent)}});
        if (!c.thumbs.empty()) publish("scanThumbs", {{"doc", id}, {"run", doc->Run()}, {"items", c.thumbs}});
        if (!c.marks.empty()) {
            json marks = json::array();
            for (size_t i : c.marks) marks.push_back({i, MarkName(doc->Items()[i].mark)});
            publish("scanMarks", {{"doc", id}, {"run", doc->Run()}, {"marks", std::move(marks)}});
        }
        if (c.state || c.login || (counters && (doc->IsRunning() || doc->FetchedSinceTold())))
            publish("scanDoc", doc->StateJson());
    }
    for (int id : closed_) publish("scanClosed", {{"doc", id}});
    closed_.clear();
    for (auto it = sends_.begin(); it != sends_.end();) {
        if (it->second->changed) PublishSend(*it->second);
        // A send that has ended was told so for the last time: nothing refers to it any more.
        it = it->second->ended && !it->second->batch ? sends_.erase(it) : std::next(it);
    }
    for (json& e : previewEvents_) publish("scanPreview", e);
    previewEvents_.clear();
}

std::vector<std::string> CScanService::AllowedFolders(bool large) const {
    std::vector<std::string> folders;
    RefPtr<IEngine> engine;
    // The cache may have been moved since the start.
    if (GetEngineMgr()->GetEngine(ENGINE_ID_PAGE_MGR, engine.Put()))
        if (auto* pages = dynamic_cast<CPageMgr*>(engine.Get())) folders.push_back(pages->GetCacheFolder());
    if (folders.empty()) folders.push_back(cacheFolder_);
    if (!large) return folders;
    folders.push_back(previewFolder_);
    return folders;
}

}  // namespace plover::web
