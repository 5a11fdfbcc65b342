#include "scan/scanner.h"

#include "app/settings.h"
#include "download/i_download.h"
#include "download/page_test.h"
#include "html/html_parser.h"
#include "html/url_resolve.h"
#include "scan/picture_sources.h"
#include "scan/scan_rules.h"

namespace plover {

constexpr const char* kNoTitle = "No Title";
constexpr const char* kCantLoadDocument = "Can't load document";

void FreeScanNotice(uint32_t msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SCAN_ELEMENT: delete reinterpret_cast<SScanElement*>(wp); break;
        case WM_SCAN_THUMB_FETCHED:
            delete reinterpret_cast<std::string*>(wp);
            delete reinterpret_cast<std::string*>(lp);
            break;
        case WM_SCAN_WAITING:
            if (wp) reinterpret_cast<IDownload*>(wp)->Release();
            break;
        default: break;
    }
}

RefPtr<CScanner> CScanner::Create(const SScanRequest& request, IPageMgr* pageMgr, IPageStatusCallback* callback,
                                  IEngine* engine) {
    return RefPtr<CScanner>::Adopt(new CScanner(request, pageMgr, callback, engine));
}

CScanner::CScanner(const SScanRequest& request, IPageMgr* pageMgr, IPageStatusCallback* callback, IEngine* engine)
    : startUrl_(request.url),
      reload_(request.reload),
      followPicturePages_(request.followPicturePages),
      profile_(request.profile),
      notify_(request.notify),
      pageMgr_(pageMgr),
      callback_(callback),
      engine_(engine),
      effectiveStartUrl_(request.url) {}

HRESULT CScanner::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IScanner) {
        *out = static_cast<IScanner*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CScanner::Release() {
    uint32_t left = refs_.Drop();
    if (left == 0) delete this;
    return left;
}

// ---- the window ----

void CScanner::Post(uint32_t msg, WPARAM wp, LPARAM lp) {
    if (!PostMessage(notify_, msg, wp, lp)) FreeScanNotice(msg, wp, lp);
}

void CScanner::PostElement(SScanElement* element) { Post(WM_SCAN_ELEMENT, reinterpret_cast<WPARAM>(element), 0); }

void CScanner::PostFetched(const std::string& url, const std::string& path) {
    Post(WM_SCAN_THUMB_FETCHED, reinterpret_cast<WPARAM>(new std::string(url)),
         reinterpret_cast<LPARAM>(new std::string(path)));
}

// ---- the operations ----

void CScanner::Start() {
    if (started_ || stopped_) return;
    started_ = true;
    startSite_ = UrlHost(startUrl_);
    // A page that links back to the start page does not scan it a second time.
    visited_.emplace(UrlKey(startUrl_), 0);
    Request(startUrl_, "");
    if (inFlight_.empty()) {
        // Refused outright (no address, no page manager): the start page has failed.
        {
            std::lock_guard g(textLock_);
            errorText_ = kCantLoadDocument;
        }
        Post(WM_SCAN_FAILED, 0, 0);
    }
    QueueStep();
}

void CScanner::Tick() {
    if (stopped_) return;
    std::vector<std::unique_ptr<SScanElement>> results;
    results.swap(results_);
    for (auto& element : results) PostElement(element.release());
    std::vector<std::string> urls, paths;
    urls.swap(fetchedUrls_);
    paths.swap(fetchedPaths_);
    for (size_t i = 0; i < urls.size(); ++i) PostFetched(urls[i], paths[i]);
    thumbnailCount_ += int32_t(urls.size());
    // The last results of a scan are delivered after its last completion: the end follows them.
    PostEndIfDone();
}

void CScanner::Close() {
    // The operation's record holds a reference to the scanner until the close has run.
    if (!engine_) return;
    PostOwned(engine_.Get(), SEOP_CLOSE, std::make_unique<RefPtr<IScanner>>(static_cast<IScanner*>(this)));
}

bool CScanner::IsBusy() { return !inFlight_.empty(); }

void CScanner::Stop() {
    stopped_ = true;
    std::unordered_map<IWebFile*, RefPtr<IWebFile>> files;
    files.swap(inFlight_);
    for (auto& [raw, file] : files) file->Cancel();
    files.clear();
    queue_.clear();
    visited_.clear();
    picturePages_.clear();
    thumbnailPictures_.clear();
    links_.clear();
    largePictures_.clear();
    results_.clear();  // never delivered
    fetchedUrls_.clear();
    fetchedPaths_.clear();
    UpdateRemaining();
}

bool CScanner::HandlePageComplete(IWebFile* file) {
    RefPtr<IWebFile> held = TakeInFlight(file);
    if (!held) return false;
    ScanPage(held.Get());
    QueueStep();
    return true;
}

bool CScanner::HandlePageFailed(IWebFile* file) {
    RefPtr<IWebFile> held = TakeInFlight(file);
    if (!held) return false;
    if (IsStartUrl(held->GetURL())) {
        FailStart(held->GetStatusText());
    }
    // Any other failed page is dropped.
    QueueStep();
    return true;
}

void CScanner::FailStart(const std::string& text) {
    {
        std::lock_guard g(textLock_);
        errorText_ = text.empty() ? kCantLoadDocument : text;
    }
    Post(WM_SCAN_FAILED, 0, 0);
}

bool CScanner::HandlePageWaiting(IWebFile* file) {
    if (!file || inFlight_.find(file) == inFlight_.end()) return false;
    RefPtr<IDownload> download;
    if (file->GetDownload(download.Put())) Post(WM_SCAN_WAITING, reinterpret_cast<WPARAM>(download.Detach()), 0);
    return true;  // still in flight: the user's answer decides
}

std::string CScanner::GetPageTitle() {
    std::lock_guard g(textLock_);
    return title_;
}

std::string CScanner::GetErrorText() {
    std::lock_guard g(textLock_);
    return errorText_;
}

std::string CScanner::GetStartURL() {
    std::lock_guard g(textLock_);
    return effectiveStartUrl_;
}

// ---- requests and the queue ----

void CScanner::Request(const std::string& url, const std::string& referrer) {
    if (stopped_ || !pageMgr_) return;
    RefPtr<IWebFile> file;
    if (pageMgr_->RequestFile(url, referrer, reload_, callback_.Get(), file.Put()) && file)
        inFlight_.emplace(file.Get(), file);
    UpdateRemaining();
}

RefPtr<IWebFile> CScanner::TakeInFlight(IWebFile* file) {
    auto it = file ? inFlight_.find(file) : inFlight_.end();
    if (it == inFlight_.end()) return {};
    RefPtr<IWebFile> held = std::move(it->second);
    inFlight_.erase(it);
    UpdateRemaining();
    return held;
}

void CScanner::QueueStep() {
    if (stopped_) return;
    while (PagesToRequest(int(inFlight_.size()), int(queue_.size())) > 0) {
        SPageToScan page = std::move(queue_.front());
        queue_.pop_front();
        Request(page.url, page.referrer);
    }
    UpdateRemaining();
    // When the last page or picture is back, its results go out at once rather than at the next
    // tick: a finished scan never keeps its window (and a collect waiting for the pictures)
    // waiting up to half a second. While pages are still coming, delivery stays on the tick.
    if (queue_.empty() && inFlight_.empty())
        Tick();
    else
        PostEndIfDone();
}

void CScanner::PostEndIfDone() {
    if (!started_ || stopped_ || endPosted_) return;
    if (!ScanHasEnded(int(queue_.size()), int(inFlight_.size()), int(results_.size() + fetchedUrls_.size()))) return;
    endPosted_ = true;
    Post(WM_SCAN_ENDED, 0, 0);
}

void CScanner::UpdateRemaining() { remaining_ = int32_t(queue_.size() + inFlight_.size()); }

bool CScanner::IsStartUrl(const std::string& url) const { return SameUrlNoCase(url, startUrl_); }

// ---- page completion ----

void CScanner::ScanPage(IWebFile* file) {
    std::string requested = file->GetURL();
    bool isStart = IsStartUrl(requested);
    auto visited = visited_.find(UrlKey(requested));
    SPage page;
    page.depth = visited == visited_.end() ? 0 : visited->second;
    page.picturePage = picturePages_.count(UrlKey(requested)) != 0;
    page.url = file->GetEffectiveURL();
    std::string path = file->GetLocalPath();
    if (!isStart && visited == visited_.end()) {
        // Neither the start page nor a page of this scan: the small picture of a thumbnail.
        fetchedUrls_.push_back(page.url);
        fetchedPaths_.push_back(path);
        return;
    }
    int32_t limit = GetSettings().iMaxPageSize;
    CHTMLParser& parser = parser_;
    parser.Clear();
    CHTMLParser::EFileRead read = parser.ParseFile(path, MaxPageBytes(limit));
    if (read == CHTMLParser::EFileRead::TooLarge) {
        // Parsing it could take more memory than the machine has: the page fails, as a page
        // that could not be fetched does (only the start page's failure is told).
        if (isStart) FailStart(PageTooLargeText(limit));
        return;
    }
    ++pagesScanned_;
    if (isStart && page.url != startUrl_) {
        {
            std::lock_guard g(textLock_);
            effectiveStartUrl_ = page.url;
        }
        visited_.emplace(UrlKey(page.url), 0);
        Post(WM_SCAN_REDIRECTED, 0, 0);
    }
    if (read == CHTMLParser::EFileRead::CannotOpen) return;  // counted as scanned; it yields nothing
    page.title = parser.GetTitle();
    if (isStart) {
        {
            std::lock_guard g(textLock_);
            title_ = page.title.empty() ? kNoTitle : page.title;
        }
        Post(WM_SCAN_TITLE, 0, 0);
    }
    ScanAnchors(parser, page);
    // Only large pictures come of the page's images: under a profile that takes none they are
    // looked at on picture pages alone.
    if (!profile_.bLargePictures && !page.picturePage) return;
    std::vector<CHTMLNode*> images;
    parser.CollectImages(images);
    for (CHTMLNode* image : images) {
        if (page.picturePage && !profile_.bLargePictures)
            ApplyPicturePageImage(image, page);
        else
            ApplyImageRule(image, page);
    }
}

void CScanner::ApplyPicturePageImage(CHTMLNode* image, const SPage& page) {
    // A picture page is followed for its large picture, even under a profile that collects no
    // large pictures from the pages it scans itself.
    SScanProfile rules = profile_;
    rules.bLargePictures = 1;
    std::string picture = ResolveUrl(image->GetAttribute("src"), page.url);
    std::string key = UrlKey(picture);
    if (!IsLargePicture(rules, picture, thumbnailPictures_.count(key) != 0, largePictures_.count(key) != 0)) return;
    largePictures_.insert(std::move(key));
    auto element = std::make_unique<SScanLargePic>();
    element->url = picture;
    element->pageUrl = page.url;
    results_.push_back(std::move(element));
}

void CScanner::ScanAnchors(CHTMLParser& parser, const SPage& page) {
    std::vector<CHTMLNode*> anchors;
    parser.CollectAnchors(anchors);
    bool first = true;
    for (CHTMLNode* anchor : anchors) {
        // An anchor without an address (a named target, <a name="top">) links nowhere.
        if (anchor->GetHref().empty()) continue;
        if (AnchorImage(anchor, profile_.bResponsivePictures != 0) && IsPictureUrl(anchor->GetHref())) {
            if (SkipsThumbnailLink(profile_, true, first)) continue;
            first = false;
        }
        ClassifyAnchor(anchor, page);
    }
}

void CScanner::ClassifyAnchor(CHTMLNode* anchor, const SPage& page) {
    std::string link = ResolveUrl(anchor->GetHref(), page.url);
    std::string linkKey;
    std::string picture, pictureKey;
    SAnchorFacts facts;
    CHTMLNode* image = AnchorImage(anchor, profile_.bResponsivePictures != 0);
    facts.imageLink = image != nullptr;
    if (image) {
        picture = SmallPicture(image, page);
        pictureKey = UrlKey(picture);
        facts.pictureSeen = thumbnailPictures_.count(pictureKey) != 0;
    }
    facts.link = link;
    facts.picture = picture;
    facts.depth = page.depth;
    facts.followPicturePages = followPicturePages_;
    facts.onPicturePage = page.picturePage;
    // Most links of a gallery are thumbnails, decided by their two addresses alone.
    if (!IsNewThumbnail(facts)) {
        linkKey = UrlKey(link);
        facts.visited = visited_.count(linkKey) != 0;
        facts.linkSeen = links_.count(linkKey) != 0;
        SLinkPlace place = PlaceOfLink(link, startSite_);
        facts.onStartSite = place.onStartSite;
        facts.fetchable = place.fetchable;
    }
    // Followed, the small picture of an image link to a page stands for that page's picture: it
    // is never a large picture itself.
    if (followPicturePages_ && facts.imageLink && !IsPictureUrl(link) && LooksLikePage(link) && !pictureKey.empty())
        thumbnailPictures_.insert(pictureKey);

    SAnchorDecision decision = DecideAnchor(profile_, facts);
    switch (decision.outcome) {
        case EAnchorOutcome::Thumbnail:
            thumbnailPictures_.insert(std::move(pictureKey));
            if (decision.report) AddThumbnail(link, picture, page);
            break;
        case EAnchorOutcome::QueuePage:
            visited_.emplace(std::move(linkKey), page.depth + 1);
            queue_.push_back({link, page.url});
            break;
        case EAnchorOutcome::PicturePage:
            visited_.emplace(linkKey, page.depth + 1);
            picturePages_.insert(std::move(linkKey));
            queue_.push_back({link, page.url});
            break;
        case EAnchorOutcome::OffSite: visited_.emplace(std::move(linkKey), page.depth + 1); break;
        case EAnchorOutcome::PageLink:
            links_.insert(std::move(linkKey));
            if (decision.report) AddPageLink(link, anchor, page);
            break;
    }
}

void CScanner::AddThumbnail(const std::string& link, const std::string& picture, const SPage& page) {
    auto element = std::make_unique<SScanThumbnail>();
    element->url = link;
    element->text = UrlFilePart(link);
    element->pageUrl = page.url;
    element->pageTitle = page.title;
    element->thumbnailUrl = picture;
    Request(picture, page.url);
    results_.push_back(std::move(element));
}

void CScanner::AddPageLink(const std::string& link, CHTMLNode* anchor, const SPage& page) {
    auto element = std::make_unique<SScanPageLink>();
    element->url = link;
    element->pageUrl = page.url;
    element->pageTitle = page.title;
    // The caption: the first text down the chain of first children, the anchor's own first.
    for (CHTMLNode* n = anchor; n; n = n->GetFirstChild()) {
        if (!n->GetText().empty()) {
            element->text = std::string(n->GetText());
            break;
        }
    }
    results_.push_back(std::move(element));
    ++linkCount_;
}

std::vector<SSrcCandidate> CScanner::ResolvedCandidates(CHTMLNode* image, const SPage& page) const {
    std::vector<SSrcCandidate> candidates = ImageCandidates(image);
    for (SSrcCandidate& c : candidates) c.url = ResolveUrl(c.url, page.url);
    return candidates;
}

std::string CScanner::SmallPicture(CHTMLNode* image, const SPage& page) const {
    if (!profile_.bResponsivePictures) return ResolveUrl(image->GetAttribute("src"), page.url);
    std::vector<SSrcCandidate> candidates = ResolvedCandidates(image, page);
    int chosen = ChooseSmallCandidate(candidates);
    return chosen < 0 ? std::string() : std::move(candidates[size_t(chosen)].url);
}

void CScanner::ApplyImageRule(CHTMLNode* image, const SPage& page) {
    if (profile_.bResponsivePictures) return ApplyResponsiveImageRule(image, page);
    std::string picture = ResolveUrl(image->GetAttribute("src"), page.url);
    std::string key = UrlKey(picture);
    if (!IsLargePicture(profile_, picture, thumbnailPictures_.count(key) != 0, largePictures_.count(key) != 0)) return;
    largePictures_.insert(std::move(key));
    AddLargePicture(picture, page);
}

void CScanner::ApplyResponsiveImageRule(CHTMLNode* image, const SPage& page) {
    std::vector<SSrcCandidate> candidates = ResolvedCandidates(image, page);
    // The img of a thumbnail is no large picture, whichever of its sizes the thumbnail took.
    for (const SSrcCandidate& c : candidates)
        if (thumbnailPictures_.count(UrlKey(c.url))) return;
    int chosen = ChooseWidestCandidate(candidates);
    if (chosen < 0) return;
    const std::string& picture = candidates[size_t(chosen)].url;
    if (!IsLargePicture(profile_, picture, false, largePictures_.count(UrlKey(picture)) != 0)) return;
    // One picture in several sizes is reported once: its other sizes count as seen.
    for (const SSrcCandidate& c : candidates)
        if (IsPictureUrl(c.url)) largePictures_.insert(UrlKey(c.url));
    AddLargePicture(picture, page);
}

void CScanner::AddLargePicture(const std::string& picture, const SPage& page) {
    auto element = std::make_unique<SScanLargePic>();
    element->url = picture;
    element->pageUrl = page.url;
    results_.push_back(std::move(element));
}

}  // namespace plover
