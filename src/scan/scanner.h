#pragma once
// CScanner: one scan (see i_scanner.h for how a front end sees it). It requests the start page
// from the page manager, parses every page that comes back, decides each anchor and image under
// the scan profile (scan_rules.h), queues further pages first in, first out, and fetches the small
// picture of every thumbnail so that the window can show it from the page cache.
//
// At most 5 requested files are in flight when a queued page is requested; the small pictures of
// thumbnails are requested at once and count in flight too, so more than 5 may be. Pages are thus
// scanned in the order their links were found, each link depth-limited by the depth of the page
// where it was first found. The start address counts as visited at depth 0, so a page that links
// back to it does not scan it twice.
//
// Results wait in the result list until the engine's next Tick hands them to the window in order.
// The scan has ended when nothing is queued, in flight or undelivered: WM_SCAN_ENDED is posted
// once, by the step that finds this (a completion, a failure, or the delivery of the last results).
//
// The URL sets (visited pages with their depths, thumbnail pictures, links, large pictures) compare
// addresses ignoring case; they are hashed on the lower-case address so that pages with thousands
// of links cost linear time.
//
// Threads: everything but Close and the getters runs on the scanner engine's thread; the counters
// are atomic and the strings are guarded by a small lock.
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/engine.h"
#include "html/html_parser.h"
#include "scan/i_page_mgr.h"
#include "scan/i_scanner.h"
#include "scan/srcset.h"

namespace plover {

class CHTMLNode;

// A page waiting to be requested.
struct SPageToScan {
    std::string url;
    std::string referrer;
};

class CScanner final : public IScanner {
public:
    // pageMgr: where pages come from; callback: passed with every request (the engine's);
    // engine: receives the close operation. Each is held with a reference.
    static RefPtr<CScanner> Create(const SScanRequest& request, IPageMgr* pageMgr, IPageStatusCallback* callback,
                                   IEngine* engine);

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;

    // IScanner
    void Start() override;
    void Tick() override;
    void Close() override;
    bool IsBusy() override;
    bool HandlePageComplete(IWebFile* file) override;
    bool HandlePageFailed(IWebFile* file) override;
    bool HandlePageWaiting(IWebFile* file) override;
    void Stop() override;
    int32_t GetThumbnailCount() override { return thumbnailCount_.load(); }
    int32_t GetLinkCount() override { return linkCount_.load(); }
    int32_t GetPagesScanned() override { return pagesScanned_.load(); }
    int32_t GetRemainingCount() override { return remaining_.load(); }
    std::string GetPageTitle() override;
    std::string GetErrorText() override;
    std::string GetStartURL() override;

private:
    CScanner(const SScanRequest& request, IPageMgr* pageMgr, IPageStatusCallback* callback, IEngine* engine);
    ~CScanner() = default;

    // The page being scanned: its effective address, title and depth.
    struct SPage {
        std::string url;
        std::string title;
        int32_t depth = 0;
        bool picturePage = false;  // reached through an image link: only its pictures count
    };

    void Request(const std::string& url, const std::string& referrer);
    RefPtr<IWebFile> TakeInFlight(IWebFile* file);
    void ScanPage(IWebFile* file);
    void ScanAnchors(CHTMLParser& parser, const SPage& page);
    void ClassifyAnchor(CHTMLNode* anchor, const SPage& page);
    void ApplyImageRule(CHTMLNode* image, const SPage& page);
    void ApplyResponsiveImageRule(CHTMLNode* image, const SPage& page);
    void AddLargePicture(const std::string& picture, const SPage& page);
    // The picture addresses an img offers, resolved against the page; its small picture (the
    // src as written when the profile does not read responsive pictures).
    std::vector<SSrcCandidate> ResolvedCandidates(CHTMLNode* image, const SPage& page) const;
    std::string SmallPicture(CHTMLNode* image, const SPage& page) const;
    void ApplyPicturePageImage(CHTMLNode* image, const SPage& page);
    void AddThumbnail(const std::string& link, const std::string& picture, const SPage& page);
    void AddPageLink(const std::string& link, CHTMLNode* anchor, const SPage& page);
    void QueueStep();
    void PostEndIfDone();
    // The start page has failed with this text ("Can't load document" when empty).
    void FailStart(const std::string& text);
    void UpdateRemaining();
    bool IsStartUrl(const std::string& url) const;
    void Post(uint32_t msg, WPARAM wp, LPARAM lp);
    void PostElement(SScanElement* element);
    void PostFetched(const std::string& url, const std::string& path);

    RefCount refs_;
    const std::string startUrl_;
    const bool reload_;
    const bool followPicturePages_;
    const SScanProfile profile_;
    const HWND notify_;
    RefPtr<IPageMgr> pageMgr_;
    RefPtr<IPageStatusCallback> callback_;
    RefPtr<IEngine> engine_;

    // Engine thread only.
    std::unordered_map<IWebFile*, RefPtr<IWebFile>> inFlight_;
    std::string startSite_;
    std::deque<SPageToScan> queue_;
    CHTMLParser parser_;  // page after page (Clear keeps its storage); only ScanPage's

    std::unordered_map<std::string, int32_t> visited_;  // lower-case address -> depth
    std::unordered_set<std::string> thumbnailPictures_, links_, largePictures_;
    std::unordered_set<std::string> picturePages_;  // lower-case addresses queued as picture pages
    std::vector<std::unique_ptr<SScanElement>> results_;
    std::vector<std::string> fetchedUrls_, fetchedPaths_;
    bool started_ = false;
    bool stopped_ = false;
    bool endPosted_ = false;

    std::atomic<int32_t> thumbnailCount_{0}, linkCount_{0}, pagesScanned_{0}, remaining_{0};
    std::mutex textLock_;  // guards the three strings below
    std::string title_, errorText_, effectiveStartUrl_;
};

}  // namespace plover
