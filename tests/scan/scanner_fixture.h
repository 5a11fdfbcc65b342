#pragma once
// What the scanner's tests share:
//  - CFakeWebFile / CFakePageMgr: a page manager that serves a site held by the test (address ->
//    page text, or a failure), records every request, and answers only when the test says so;
//  - CScanDriver: one CScanner over the fake, run on the test's thread as the engine would run it
//    (Start, completions in the order requested, Tick), with every notice collected as text.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scan/i_scanner.h"
#include "scan/scanner.h"
#include "testutil/temp_dir.h"

namespace plover::test {

class CFakeWebFile final : public IWebFile {
public:
    CFakeWebFile(std::string url, std::string referrer) : url_(std::move(url)), referrer_(std::move(referrer)) {}
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IWebFile) {
            *out = static_cast<IWebFile*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        uint32_t left = refs_.Drop();
        if (!left) delete this;
        return left;
    }
    std::string GetURL() override { return url_; }
    std::string GetEffectiveURL() override { return effective_.empty() ? url_ : effective_; }
    std::string GetLocalPath() override { return path_; }
    void SetEffectiveURL(const std::string& url) override { effective_ = url; }
    void SetLocalPath(const std::string& path) override { path_ = path; }
    std::string GetStatusText() override { return status_; }
    bool IsDownload(IDownload* d) override { return d == nullptr; }
    void Cancel() override { cancelled = true; }
    int GetPriority() override { return 5; }
    void SetPriority(int) override {}
    bool GetDownload(IDownload** out) override {
        if (out) *out = nullptr;
        return false;
    }
    void SetRevalidation(const std::string&, const std::string&) override {}
    void NotifyComplete() override {}
    void NotifyFailed(uint32_t) override {}
    void NotifyWaiting() override {}

    const std::string& Referrer() const { return referrer_; }
    void SetStatusText(const std::string& text) { status_ = text; }
    bool cancelled = false;

private:
    ~CFakeWebFile() = default;
    RefCount refs_;
    std::string url_, referrer_, effective_, path_, status_;
};

// A site: what each address answers. Pages are written to files on first use.
struct SFakeAnswer {
    std::string body;            // the page text (or picture bytes)
    bool fail = false;           // the request fails with `status`
    std::string status;          // the failure's text
    std::string redirectTo;      // the effective address, when it differs
    bool unreadable = false;     // the file cannot be opened
};

inline SFakeAnswer Failure(const std::string& status) {
    SFakeAnswer a;
    a.fail = true;
    a.status = status;
    return a;
}
inline SFakeAnswer Redirected(const std::string& body, const std::string& to) {
    SFakeAnswer a;
    a.body = body;
    a.redirectTo = to;
    return a;
}
inline SFakeAnswer Unreadable() {
    SFakeAnswer a;
    a.unreadable = true;
    return a;
}

class CFakePageMgr final : public IPageMgr {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid == IID_IUnknown || iid == IID_IPageMgr) {
            *out = static_cast<IPageMgr*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }  // lives on the test's stack
    uint32_t Release() override { return 1; }
    bool RequestFile(const std::string& url, const std::string& referrer, bool reload, IPageStatusCallback*,
                     IWebFile** out) override {
        if (!out || url.empty()) return false;
        auto file = RefPtr<CFakeWebFile>::Adopt(new CFakeWebFile(url, referrer));
        requests.push_back({url, referrer, reload});
        pending.push_back(file);
        *out = file.Get();
        file->AddRef();
        return true;
    }
    bool MoveCacheFiles(const std::string&) override { return false; }
    void ClearCache() override {}
    int GetCachedCount() override { return 0; }
    uint64_t GetCacheSize() override { return 0; }
    int GetPendingCount() override { return int(pending.size()); }

    struct SRequest {
        std::string url, referrer;
        bool reload;
    };
    std::vector<SRequest> requests;
    std::deque<RefPtr<CFakeWebFile>> pending;  // requested and not yet answered, in order
    // Answers for addresses; `generate` (when set) answers the others; unknown ones fail "Not found".
    std::map<std::string, SFakeAnswer> site;
    std::function<bool(const std::string& url, SFakeAnswer& answer)> generate;

    std::vector<std::string> RequestedUrls() const {
        std::vector<std::string> urls;
        for (auto& r : requests) urls.push_back(r.url);
        return urls;
    }
};

class CScanDriver {
public:
    explicit CScanDriver(const SScanProfile& profile, const std::string& startUrl, bool reload = false,
                         bool followPicturePages = false) {
        SScanRequest request;
        request.url = startUrl;
        request.reload = reload;
        request.followPicturePages = followPicturePages;
        request.profile = profile;
        request.notify = &window;
        scanner = CScanner::Create(request, &pageMgr, nullptr, nullptr);
    }
    ~CScanDriver() {
        if (scanner) scanner->Stop();
        DrainWindow();
    }

    // Answers the oldest pending request; false when none is pending.
    bool AnswerNext() {
        if (pageMgr.pending.empty()) return false;
        RefPtr<CFakeWebFile> file = pageMgr.pending.front();
        pageMgr.pending.pop_front();
        Answer(file.Get());
        return true;
    }
    void Answer(CFakeWebFile* file) {
        SFakeAnswer answer;
        auto it = pageMgr.site.find(file->GetURL());
        bool known = it != pageMgr.site.end();
        if (known) answer = it->second;
        else if (pageMgr.generate) known = pageMgr.generate(file->GetURL(), answer);
        if (!known) answer = Failure("Not found");
        if (answer.fail) {
            file->SetStatusText(answer.status);
            scanner->HandlePageFailed(file);
            return;
        }
        if (!answer.redirectTo.empty()) file->SetEffectiveURL(answer.redirectTo);
        file->SetLocalPath(answer.unreadable ? (dir.Path() / "missing").string() : FileWith(answer.body));
        scanner->HandlePageComplete(file);
    }
    // Start, then answer everything in request order with a delivery after each answer.
    void RunToEnd(size_t maxAnswers = 1000000) {
        scanner->Start();
        for (size_t n = 0; n < maxAnswers && AnswerNext(); ++n) scanner->Tick();
        scanner->Tick();
        DrainWindow();
    }

    // Takes every posted notice into the lists below.
    void DrainWindow() {
        while (auto m = window.GetMessage(0)) {
            switch (m->msg) {
                case WM_SCAN_ELEMENT: {
                    std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m->wp));
                    elements.push_back(Describe(*e));
                    if (e->GetType() == SCAN_PAGE_LINK) captions.push_back(e->text);
                    break;
                }
                case WM_SCAN_THUMB_FETCHED: {
                    std::unique_ptr<std::string> url(reinterpret_cast<std::string*>(m->wp));
                    std::unique_ptr<std::string> path(reinterpret_cast<std::string*>(m->lp));
                    fetched.push_back(*url);
                    break;
                }
                default:
                    notices.push_back(m->msg - WM_APP);
                    FreeScanNotice(m->msg, m->wp, m->lp);
                    break;
            }
        }
    }
    int Count(uint32_t notice) const { return int(std::count(notices.begin(), notices.end(), notice - WM_APP)); }

    // "T url thumb=small text page", "P url page", "L url page"
    static std::string Describe(const SScanElement& e) {
        switch (e.GetType()) {
            case SCAN_THUMBNAIL:
                return "T " + e.url + " thumb=" + static_cast<const SScanThumbnail&>(e).thumbnailUrl + " text=" + e.text +
                       " on " + e.pageUrl;
            case SCAN_LARGE_PIC: return "P " + e.url + " on " + e.pageUrl;
            case SCAN_PAGE_LINK: return "L " + e.url + " on " + e.pageUrl;
        }
        return "?";
    }

    TempDir dir;
    CMessageQueueWindow window;
    CFakePageMgr pageMgr;
    RefPtr<CScanner> scanner;
    std::vector<std::string> elements, captions, fetched;
    std::vector<uint32_t> notices;  // offsets from WM_APP of the other notices

private:
    // One file for each distinct body (files are made once: making thousands costs the disk).
    std::string FileWith(const std::string& body) {
        auto it = files_.find(body);
        if (it != files_.end()) return it->second;
        std::string path = (dir.Path() / ("f" + std::to_string(files_.size()))).string();
        WriteFile(path, body);
        files_.emplace(body, path);
        return path;
    }
    std::map<std::string, std::string> files_;
};

// The profiles of the cases.
inline SScanProfile Profile(bool thumbs, bool large, bool links, bool recurse, bool oneEach = false,
                            bool onlySite = false, int depth = 5) {
    SScanProfile p;
    p.bThumbnails = thumbs;
    p.bLargePictures = large;
    p.bLinks = links;
    p.bRecurse = recurse;
    p.bOneThumbnailFromEach = oneEach;
    p.bOnlyThisSite = onlySite;
    p.iDepth = depth;
    return p;
}

}  // namespace plover::test
