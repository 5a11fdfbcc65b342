#pragma once
// CScanDoc: one scan document of the browser's main window, as the server keeps it. It takes the
// scanner's notices in order and keeps every result (thumbnails, large pictures, page links) by
// its position, the small pictures fetched into the page cache, the download marks of the results
// and what has not yet been told to the pages. Plain data: the scan service holds the lock and
// calls it on its own thread, and the request threads read it under the same lock.
//
// A document can be started again (reload, another address): every start is a new run, and
// notices of an older run are dropped by the service before they reach the document.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "download/i_download.h"
#include "scan/download_mark.h"
#include "scan/i_scanner.h"

namespace plover::web {

enum class EScanState { Idle, Scanning, Done, Failed, Stopped };

struct SScanItem {
    EScanElementType type = SCAN_THUMBNAIL;
    std::string url;       // the picture (thumbnail, large picture) or the linked page
    std::string key;       // url as the download history stores it
    std::string text;      // a thumbnail's file name, a link's caption
    std::string page;      // the page it was found on
    std::string pageTitle; // that page's title
    std::string thumbUrl;  // a thumbnail's small picture
    std::string thumbFile; // the small picture in the page cache, once fetched
    EDownloadMark mark = EDownloadMark::None;
};

class CScanDoc {
public:
    CScanDoc(int id, std::string url, std::string profile) : id_(id), url_(std::move(url)), profile_(std::move(profile)) {}

    // ---- a run ----
    // A new run of the address under the profile: the results of the last one are dropped.
    int Begin(const std::string& url, const std::string& profile);
    void SetScanner(RefPtr<IScanner> scanner) { scanner_ = std::move(scanner); }
    IScanner* Scanner() const { return scanner_.Get(); }
    // The scan could not be started (said why).
    void Fail(const std::string& error);
    // Stops the scanner (the results so far stay).
    void Stop();

    // ---- the scanner's notices (the parameters are taken: the element, the strings) ----
    void OnElement(std::unique_ptr<SScanElement> e, EDownloadMark mark);
    void OnThumbFetched(const std::string& url, const std::string& path);
    void OnTitle();
    void OnFailed();
    void OnRedirected();
    void OnEnded();
    void OnWaiting(RefPtr<IDownload> download);

    // ---- marks ----
    // The items of an address (as the history stores it).
    const std::vector<size_t>* ItemsOf(const std::string& key) const;
    void SetMark(size_t item, EDownloadMark mark);

    // ---- logins ----
    // The first download of the run that waits for a login (null when none).
    RefPtr<IDownload> Waiting() const { return waiting_.empty() ? nullptr : waiting_.front(); }
    // That download was answered (or given up): the next one may be asked.
    void Answered();

    // ---- what the pages see ----
    int Id() const { return id_; }
    int Run() const { return run_; }
    const std::string& Url() const { return url_; }
    const std::vector<SScanItem>& Items() const { return items_; }
    // {"id","run","url","profile","title","state","error","pages","remaining","thumbnails","pictures","links","waiting"}
    nlohmann::json StateJson() const;
    // With detail, also each result's page title, small picture address and file (what a command
    // that ran the scan here prints).
    nlohmann::json ItemsJson(size_t from, size_t count, bool detail = false) const;

    // What changed since the last TakeChanges; the service publishes it.
    struct SChanges {
        bool state = false;
        size_t itemsFrom = 0, itemsTo = 0;  // new items [from, to)
        std::vector<size_t> thumbs;         // small pictures now fetched
        std::vector<size_t> marks;          // marks changed
        bool login = false;                 // a login is asked for
    };
    SChanges TakeChanges();
    // Counters move while the scan runs: the state is told again now and then.
    bool IsRunning() const { return state_ == EScanState::Scanning; }
    // Small pictures arrived since the state was last told (they go on arriving after the end).
    bool FetchedSinceTold() {
        bool changed = thumbsFetched_ != thumbsTold_;
        thumbsTold_ = thumbsFetched_;
        return changed;
    }

private:
    void Index(size_t i);
    void CloseScanner();

    int id_;
    std::string url_, profile_;
    int run_ = 0;
    EScanState state_ = EScanState::Idle;
    std::string title_, error_, startUrl_;
    RefPtr<IScanner> scanner_;
    bool closed_ = false;  // the scanner was asked to close (once)
    std::deque<RefPtr<IDownload>> waiting_;
    std::vector<SScanItem> items_;
    std::unordered_map<std::string, std::vector<size_t>> byKey_;
    std::unordered_map<std::string, size_t> byThumbUrl_;  // thumbnails whose small picture is not yet fetched
    int counts_[3] = {0, 0, 0};
    size_t thumbsFetched_ = 0;  // thumbnails whose small picture is in the cache
    size_t thumbsTold_ = 0;
    // Not yet told.
    bool stateChanged_ = true;
    size_t told_ = 0;
    std::vector<size_t> thumbs_, marks_;
    bool loginChanged_ = false;
};

// "new", "queued", "disk": the mark as the page names it.
const char* MarkName(EDownloadMark mark);
const char* ScanStateName(EScanState state);

}  // namespace plover::web
