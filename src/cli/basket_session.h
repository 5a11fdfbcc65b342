#pragma once
// CBasketSession: what `plover basket drop` and `plover collect` share. Items go to a basket
// through the dispatch worker (baskets/basket_batch.h); every basket download that a dispatch
// starts, or that this basket already had queued for a dropped address, is followed until the
// basket engine has taken it out of the list (finished or failed). An address queued by another
// basket or by the user stays there and the item counts as not collected. The session tallies
// what became of each item, renders progress and prints the summary.
//
//   CBasketSession session(app, basket, pauseMs);
//   if (!session.Start()) ...;          // the downloader, a sink for removals, the worker
//   session.Add({url, page}); ...        // repeated addresses are dropped once
//   session.Finish();                    // no more items
//   in the message loop: session.OnMessage(m); quit when session.Done()
//   session.Stop(); session.PrintSummary(std::cout, json);
//
// Messages: WM_PV_BASKET_ITEM_DONE and WM_PV_BASKET_BATCH_DONE from the worker, and
// WM_BASKET_SESSION_REMOVED (wp = IDownload*, one reference; lp = its last failure status or 0)
// from the session's sink. OnMessage
// frees them also after Stop, so late messages never leak.
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "baskets/basket.h"
#include "baskets/basket_batch.h"
#include "cli/app_session.h"
#include "download/download_status.h"
#include "download/i_downloader.h"

namespace plover::cli {

constexpr uint32_t WM_BASKET_SESSION_REMOVED = WM_APP + 0x7A2;

class CBasketSession {
public:
    CBasketSession(CCliApp& app, CBasket& basket, uint32_t pauseMs);
    // For a session whose messages go to a window of its own (a job of the running program).
    CBasketSession(HWND window, CBasket& basket, uint32_t pauseMs);
    ~CBasketSession();
    CBasketSession(const CBasketSession&) = delete;
    CBasketSession& operator=(const CBasketSession&) = delete;

    // False (with the reason on standard error) when the downloader is not there.
    bool Start();
    void Add(const SBasketItem& item);
    void Finish();
    // Handles (and frees) the session's messages; false for any other message.
    bool OnMessage(const SWindowMessage& m);
    // Every item dispatched and every followed download ended.
    bool Done() const;
    // Cancels what has not been dispatched and stops listening.
    void Stop();

    size_t Items() const { return seen_.size(); }
    // "12/40 files, 35.2 MiB, 12.1 MiB/s, 3 moved, 5 already in the basket, 1 failed"
    std::string ProgressLine();
    // The summary as text (the outcomes painted when `colour`) or as JSON lines.
    void PrintSummary(std::ostream& out, bool json, bool colour = false) const;
    // A page link that names a picture of a format not collected (GIF, SVG, ...): counted for the
    // summary, with a hint, so that nothing is skipped silently.
    void NoteOtherFormat(const std::string& format) { ++otherFormats_[format]; }
    // Nothing failed, and no picture stayed out because another download of its address is
    // queued (for another basket or by the user).
    bool AllCollected() const { return failures_.empty() && elsewhere_.empty() && noFolder_.empty(); }
    // The basket's folder is missing: the session has stopped taking items and is done.
    bool NoFolder() const { return !noFolder_.empty(); }
    int Downloaded() const { return downloaded_; }

private:
    class CSink;
    struct STrack {
        SBasketItem item;
        RefPtr<IDownload> download;
        bool queued = false;  // in the list before this session
        bool ended = false;
        DownloadStatus failure = 0;  // the last failure it reported
    };

    void OnItemDone(SBasketItemDone& done);
    void Follow(const SBasketItem& item, RefPtr<IDownload> download, bool queued);
    void FollowQueued(const SBasketItem& item);
    void OnRemoved(RefPtr<IDownload> download, DownloadStatus failure);
    void End(STrack& t);
    void Fail(const std::string& url, const std::string& why);
    void Note(const std::string& url, const char* result, const std::string& path, const std::string& reason = {});

    HWND window_;
    CBasket& basket_;
    uint32_t pauseMs_;
    RefPtr<IDownloader> downloader_;
    std::unique_ptr<CSink> sink_;
    std::unique_ptr<CBasketBatch> batch_;
    bool batchDone_ = false;
    bool stopped_ = false;

    std::set<std::string> seen_;
    std::vector<STrack> tracks_;
    std::map<IDownload*, size_t> byDownload_;
    // Removed before their item was reported, with their last failure.
    std::map<IDownload*, std::pair<RefPtr<IDownload>, DownloadStatus>> removedEarly_;
    size_t dispatched_ = 0;
    int downloaded_ = 0, moved_ = 0, inBasket_ = 0, queued_ = 0, queuedFinished_ = 0;
    int samePicture_ = 0;  // downloaded, but the basket had the same content already
    uint64_t bytes_ = 0;  // of the files downloaded
    std::vector<std::pair<std::string, std::string>> failures_;  // (address, reason)
    std::vector<std::pair<std::string, std::string>> elsewhere_;  // (address, file of the other download)
    std::map<std::string, int> otherFormats_;  // format -> links seen
    std::string noFolder_;  // "Can't create folder\n<folder>" once the basket's folder was found missing
    struct SOutcome {
        std::string url, result, path, reason;
    };
    std::vector<SOutcome> outcomes_;  // what became of each address, for --json
    uint64_t lastBytes_ = 0;
    uint32_t lastTick_ = 0;
    uint64_t speed_ = 0;
};

}  // namespace plover::cli
