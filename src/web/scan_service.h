#pragma once
// CScanService: the scan documents of the browser's main window on the server. It asks the
// scanner engine for a scanner per run of a document (the run's own window receives the
// scanner's notices), listens to the download history (an address queued, out of the queue, a
// file recorded; the history changed) to keep every result's mark live, hands chosen pictures to a
// basket through the batch dispatch (one worker per "Send to basket", its 0x80DA messages turned
// into progress) and fetches large pictures as previews.
//
// Threads: engine threads only post messages to the service's windows (noted under a short lock,
// never waited for); the service's own thread applies them every 100 ms and publishes events:
//
//   scanDoc     the state of a document (its title, state, counters, a login asked for)
//   scanItems   {"doc","run","from","items":[...]}  new results, in order
//   scanThumbs  {"doc","run","items":[i...]}        small pictures now in the page cache
//   scanMarks   {"doc","run","marks":[[i,"disk"|"queued"|"new"]...]}
//   scanClosed  {"doc"}
//   scanSend    the progress of one "Send to basket"
//   scanPreview {"doc","run","item","state":"ready"|"failed","error"}
//
// Request threads read and change the documents under the documents' lock (held briefly; never
// while the scanner engine is waited for). A page that connects again reads /api/scan for the
// documents and their results, so nothing depends on events it may have missed.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "baskets/basket_batch.h"
#include "download/i_downloader.h"
#include "platform/window.h"
#include "web/event_hub.h"
#include "web/scan_doc.h"
#include "web/web_api.h"

namespace plover::web {

class CScanService final : public IWindow, public INetAdviseSink {
public:
    static constexpr size_t kMaxSendItems = 20000;
    static constexpr size_t kItemsPerEvent = 1000;

    CScanService(CEventHub& hub, RefPtr<IDownloader> downloader);
    ~CScanService();
    CScanService(const CScanService&) = delete;
    CScanService& operator=(const CScanService&) = delete;

    // Registers with the history, advises the downloader, starts the thread.
    void Start();
    // Closes every scan, cancels every send, unregisters and ends the thread; messages that
    // still come are freed at once.
    void Stop();

    // IWindow: the history's and the batch workers' messages.
    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override;
    // INetAdviseSink: the end of preview downloads. The service outlives its registration.
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    int32_t OnNetNotify(uint32_t code, uintptr_t value1, uintptr_t value2) override;

    // ---- requests (see scan_routes.h) ----
    SApiAnswer Open(const nlohmann::json& body);
    SApiAnswer Action(int doc, const std::string& action, const nlohmann::json& body);
    SApiAnswer List();
    // The results from `from` on, with the document's state; with detail, what a command prints of each.
    SApiAnswer Items(int doc, size_t from, size_t count, bool detail = false);
    SApiAnswer CancelSend(int send);
    // The scan profiles, the search sites and the baskets to choose from.
    nlohmann::json Choices();
    // The small picture of a result, resolved inside the page cache; empty when there is none.
    std::string ThumbFile(int doc, int run, size_t item);
    // The file the history knows for a result, resolved inside the preview, basket or cache folders.
    std::string LargeFile(int doc, size_t item);
    // Part of every picture address: a new one each time the program starts, so a browser never
    // shows a picture it kept from an earlier run under the same address.
    const std::string& Nonce() const { return nonce_; }

private:
    class CRoute;
    enum class ERoute { Service, Run, Send };
    struct SNote {
        ERoute route;
        int id, run;
        SWindowMessage m;
    };
    // One "Send to basket": its worker and what became of its items so far.
    struct SSend {
        int id = 0, doc = 0, run = 0;
        int32_t basket = 0;
        std::string basketName;
        std::unique_ptr<CBasketBatch> batch;  // until it has ended
        size_t total = 0, done = 0;
        int downloading = 0, moved = 0, there = 0, listed = 0, failed = 0;
        std::vector<std::string> errors;  // the first few reasons
        std::string last, lastResult;     // the item done last and what became of it
        bool ended = false, cancelled = false, changed = true;
    };

    bool Note(const SNote& note);
    static void FreeNote(const SNote& note);
    HWND NewWindow(ERoute route, int id, int run);
    void Loop();
    void Apply(const SNote& note);
    void ApplyScanNotice(CScanDoc& doc, const SWindowMessage& m);
    void ApplyAddress(uint32_t msg, const std::string& key);
    void RemarkAll();
    void ApplyItemDone(SSend& send, SBasketItemDone& done);
    void PreviewEnded(const std::string& key);
    void Publish();
    void PublishSend(SSend& send);
    SApiAnswer StartRun(int doc, const std::string& url, const nlohmann::json& body, bool reload);
    SApiAnswer Send(int doc, const nlohmann::json& body);
    SApiAnswer Preview(int doc, const nlohmann::json& body);
    SApiAnswer Login(int doc, const nlohmann::json& body, bool cancel);
    std::vector<std::string> AllowedFolders(bool large) const;

    CEventHub& hub_;
    RefPtr<IDownloader> downloader_;
    std::string nonce_;
    std::string previewFolder_, cacheFolder_;

    std::mutex noteLock_;  // the notes and the stop flag
    std::deque<SNote> notes_;
    bool stopped_ = false;
    std::vector<std::unique_ptr<CRoute>> windows_;  // every run's and send's window, kept to the end

    mutable std::mutex docsLock_;  // everything below
    std::map<int, std::unique_ptr<CScanDoc>> docs_;
    int nextDoc_ = 1;
    std::map<int, std::unique_ptr<SSend>> sends_;
    int nextSend_ = 1;
    // Previews under way: the history's address -> the results waiting for it.
    std::unordered_map<std::string, std::vector<std::pair<int, size_t>>> previews_;
    std::vector<nlohmann::json> previewEvents_;
    std::vector<int> closed_;
    unsigned ticks_ = 0;

    std::mutex loopLock_;
    std::condition_variable wake_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace plover::web
