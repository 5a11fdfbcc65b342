// The scanner engine on its own thread, over a page-manager engine stand-in that answers when the
// test says so: scans created and started, completions routed to the scan that holds the web file,
// late completions dropped, deliveries by the timer, and a clean stop.
#include <poll.h>

#include <gtest/gtest.h>

#include <mutex>

#include "engine/engine_mgr.h"
#include "platform/tick.h"
#include "scan/scanner_engine.h"
#include "scanner_fixture.h"

namespace plover {
namespace {

using test::CFakeWebFile;
using test::Profile;

// A page manager engine whose requests wait for the test.
class CPageMgrStandIn final : public CEngine, public IPageMgr {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out) return E_INVALIDARG;
        if (iid != IID_IPageMgr) return CEngine::QueryInterface(iid, out);
        *out = static_cast<IPageMgr*>(this);
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }
    bool RequestFile(const std::string& url, const std::string& referrer, bool, IPageStatusCallback* callback,
                     IWebFile** out) override {
        auto file = RefPtr<CFakeWebFile>::Adopt(new CFakeWebFile(url, referrer));
        std::lock_guard g(lock_);
        requests_.push_back({file, RefPtr<IPageStatusCallback>(callback)});
        *out = file.Detach();
        return true;
    }
    bool MoveCacheFiles(const std::string&) override { return false; }
    void ClearCache() override {}
    int GetCachedCount() override { return 0; }
    uint64_t GetCacheSize() override { return 0; }
    int GetPendingCount() override { return 0; }

    struct SReq {
        RefPtr<CFakeWebFile> file;
        RefPtr<IPageStatusCallback> callback;
    };
    // Waits (generously) for the n-th request.
    SReq WaitRequest(size_t n) {
        for (int i = 0; i < 3000; ++i) {
            {
                std::lock_guard g(lock_);
                if (requests_.size() > n) return requests_[n];
            }
            SleepMs(10);
        }
        ADD_FAILURE() << "no request " << n;
        return {};
    }
    size_t Count() {
        std::lock_guard g(lock_);
        return requests_.size();
    }
    void Drop() {
        std::lock_guard g(lock_);
        requests_.clear();
    }

private:
    std::mutex lock_;
    std::vector<SReq> requests_;
};

// A clock that never advances: no timer ever falls due.
class CFrozenClock final : public ITimerClock {
public:
    uint32_t Now() override { return 0; }
    void WaitStep(uint32_t ms, Handle stop) override {
        pollfd p{stop, POLLIN, 0};
        ::poll(&p, 1, int(ms));
    }
};

class ScannerEngineTest : public ::testing::Test {
protected:
    void StartEngines(ITimerClock* clock = nullptr) {
        pageMgr = RefPtr<CPageMgrStandIn>::Adopt(new CPageMgrStandIn);
        engine = CScannerEngine::Create(&mgr);
        if (clock) engine->SetTimerClock(clock);
        ASSERT_TRUE(mgr.RegisterEngine(ENGINE_ID_PAGE_MGR, pageMgr.Get()));
        ASSERT_TRUE(mgr.RegisterEngine(ENGINE_ID_SCANNER, engine.Get()));
    }
    void TearDown() override { StopEngines(); }
    void StopEngines() {
        if (mgr.GetEngineCount() > 0) {
            CMessageQueueWindow w;
            mgr.StopAllEngines(&w);
            while (auto m = w.GetMessage(60000))
                if (m->msg == WM_PV_ENGINES_STOPPED) break;
        }
        if (pageMgr) pageMgr->Drop();
    }
    RefPtr<IScanner> Create(CMessageQueueWindow& window, const std::string& url, const SScanProfile& profile) {
        SScanRequest request{url, false, profile, &window};
        RefPtr<IScanner> scanner;
        EXPECT_TRUE(engine->CreateScanner(&request, scanner.Put()));
        return scanner;
    }
    // Answers a request with a page.
    void Complete(const CPageMgrStandIn::SReq& r, const std::string& body) {
        std::string path = (dir.Path() / ("f" + std::to_string(++files))).string();
        test::WriteFile(path, body);
        r.file->SetLocalPath(path);
        r.callback->OnPageComplete(r.file.Get());
    }
    // Waits for a notice on the window; the others met on the way are counted.
    bool WaitFor(CMessageQueueWindow& window, uint32_t msg, std::vector<uint32_t>* seen = nullptr) {
        while (auto m = window.GetMessage(30000)) {
            if (seen) seen->push_back(m->msg);
            FreeScanNotice(m->msg, m->wp, m->lp);
            if (m->msg == msg) return true;
        }
        return false;
    }

    CFrozenClock frozen;  // outlives the engines' timer threads, which end in TearDown
    CEngineMgr mgr;
    RefPtr<CPageMgrStandIn> pageMgr;
    RefPtr<CScannerEngine> engine;
    test::TempDir dir;
    int files = 0;
};

TEST_F(ScannerEngineTest, AScanRunsAndDeliversThroughTheTimer) {
    StartEngines();
    CMessageQueueWindow window;
    RefPtr<IScanner> scan = Create(window, "http://h/g/index.html", Profile(true, true, true, false));
    ASSERT_TRUE(scan);
    Complete(pageMgr->WaitRequest(0), "<title>T</title><a href=\"big/p1.jpg\"><img src=\"small/p1.jpg\"></a>");
    auto small = pageMgr->WaitRequest(1);
    EXPECT_EQ(small.file->GetURL(), "http://h/g/small/p1.jpg");
    Complete(small, "jpeg");
    std::vector<uint32_t> seen;
    ASSERT_TRUE(WaitFor(window, WM_SCAN_ENDED, &seen));
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_SCAN_TITLE, WM_SCAN_ELEMENT, WM_SCAN_THUMB_FETCHED, WM_SCAN_ENDED}));
    EXPECT_EQ(scan->GetPageTitle(), "T");
    EXPECT_EQ(scan->GetThumbnailCount(), 1);
    scan->Close();
}

TEST_F(ScannerEngineTest, TwoScansOfOneAddressEachGetTheirOwnWebFile) {
    StartEngines();
    CMessageQueueWindow first, second;
    RefPtr<IScanner> a = Create(first, "http://h/a.html", Profile(true, true, true, false));
    RefPtr<IScanner> b = Create(second, "http://h/a.html", Profile(true, true, true, false));
    auto ra = pageMgr->WaitRequest(0);
    auto rb = pageMgr->WaitRequest(1);
    ASSERT_NE(ra.file.Get(), rb.file.Get());
    Complete(rb, "<title>B</title>");
    ASSERT_TRUE(WaitFor(second, WM_SCAN_ENDED));
    EXPECT_EQ(first.Pending(), 0u);
    EXPECT_TRUE(a->IsBusy());
    EXPECT_FALSE(b->IsBusy());
    Complete(ra, "<title>A</title>");
    ASSERT_TRUE(WaitFor(first, WM_SCAN_ENDED));
    EXPECT_EQ(a->GetPageTitle(), "A");
    EXPECT_EQ(b->GetPageTitle(), "B");
    a->Close();
    b->Close();
}

TEST_F(ScannerEngineTest, ACompletionForAClosedScanIsDropped) {
    StartEngines();
    CMessageQueueWindow window;
    RefPtr<IScanner> scan = Create(window, "http://h/a.html", Profile(true, true, true, false));
    auto r = pageMgr->WaitRequest(0);
    scan->Close();
    // A waiting call runs after everything posted before it: the close has run.
    CMessageQueueWindow other;
    RefPtr<IScanner> later = Create(other, "http://h/b.html", Profile(true, true, true, false));
    EXPECT_TRUE(r.file->cancelled);
    Complete(r, "<title>A</title>");
    Complete(pageMgr->WaitRequest(1), "<title>B</title>");
    ASSERT_TRUE(WaitFor(other, WM_SCAN_ENDED));
    EXPECT_EQ(window.Pending(), 0u);
    EXPECT_EQ(scan->GetPagesScanned(), 0);
    later->Close();
}

TEST_F(ScannerEngineTest, AScanClosedBeforeItsFirstDeliveryDeliversNothing) {
    StartEngines(&frozen);
    CMessageQueueWindow window;
    RefPtr<IScanner> scan = Create(window, "http://h/g/index.html", Profile(true, true, true, false));
    Complete(pageMgr->WaitRequest(0), "<a href=\"big/p1.jpg\"><img src=\"small/p1.jpg\"></a><a href=\"x.html\">x</a>");
    pageMgr->WaitRequest(1);  // the page was scanned: its results wait for a delivery
    scan->Close();
    CMessageQueueWindow other;
    Create(other, "", Profile(true, true, true, false));  // runs after the close
    std::vector<uint32_t> seen;
    while (auto m = window.GetMessage(0)) {
        seen.push_back(m->msg);
        FreeScanNotice(m->msg, m->wp, m->lp);
    }
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_SCAN_TITLE}));
}

TEST_F(ScannerEngineTest, RequestsWithoutArgumentsAndAfterTheStopAreRefused) {
    StartEngines();
    RefPtr<IScanner> scan;
    EXPECT_FALSE(engine->CreateScanner(nullptr, scan.Put()));
    EXPECT_FALSE(engine->CreateScanner(nullptr, nullptr));
    CMessageQueueWindow window;
    RefPtr<IScanner> running = Create(window, "http://h/a.html", Profile(true, true, true, false));
    auto r = pageMgr->WaitRequest(0);
    StopEngines();
    EXPECT_TRUE(r.file->cancelled);  // the stop cancelled the scan's fetch
    EXPECT_EQ(engine->ScannerCount(), 0u);
    SScanRequest request{"http://h/a.html", false, Profile(true, true, true, false), &window};
    EXPECT_FALSE(engine->CreateScanner(&request, scan.Put()));
    // A late completion and a late close are freed, not run.
    Complete(r, "<title>late</title>");
    running->Close();
}

}  // namespace
}  // namespace plover
