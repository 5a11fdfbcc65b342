// Scans end to end through the program's real engines (socket engine, downloader, page manager,
// scanner engine) against a gallery that the test writes and nginx serves on loopback: thumbnails
// with their small pictures fetched into the page cache, a recursive scan across numbered pages,
// a second scan answered from the cache, and a reload that fetches again.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "page_mgr_fixture.h"
#include "scan/scanner_engine.h"
#include "scanner_fixture.h"
#include "testutil/servers.h"

namespace plover {
namespace {

namespace fs = std::filesystem;
using test::Profile;
using Strings = std::vector<std::string>;

int CountRequests(const test::NginxServer& web, const std::string& uri) {
    std::istringstream log(web.AccessLog());
    std::string method, path, rest;
    int n = 0;
    while (log >> method >> path && std::getline(log, rest)) n += path == uri;
    return n;
}

struct SScanResult {
    Strings elements;
    Strings fetchedFiles;  // the cache files of the small pictures
    std::string title, error;
    int pages = 0;
    bool ended = false;
};

class ScannerLiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::CLiveEngines::Start()) << "the downloader did not start";
        GetSettings().eCacheMode = 1;
        GetSettings().csCacheFolder = cache.Str();
        // index: three thumbnails, a numbered page, a page without a digit; page2: two more
        // thumbnails and a picture shown on the page.
        fs::path g = web.Root() / "gallery";
        fs::create_directories(g / "small");
        fs::create_directories(g / "big");
        std::string index = "<html><head><title>Gallery</title></head><body>\n";
        for (int i = 1; i <= 3; ++i)
            index += "<a href=\"big/p" + std::to_string(i) + ".jpg\"><img src=\"small/p" + std::to_string(i) + ".jpg\"></a>\n";
        index += "<a href=\"page2.html\">Next</a> <a href=\"about.html\">About</a>\n</body></html>\n";
        test::WriteFile(g / "index.html", index);
        test::WriteFile(g / "page2.html",
                        "<title>Two</title><a href=\"big/q1.jpg\"><img src=\"small/q1.jpg\"></a>\n"
                        "<a href=\"big/q2.jpg\"><img src=\"small/q2.jpg\"></a>\n<img src=\"photo.png\">\n"
                        "<a href=\"index.html\">Home</a>\n");
        for (const char* n : {"p1", "p2", "p3", "q1", "q2"}) {
            test::WriteFile(g / "small" / (std::string(n) + ".jpg"), std::string("small ") + n);
            test::WriteFile(g / "big" / (std::string(n) + ".jpg"), std::string("big ") + n);
        }
        scanEngines = std::make_unique<CEngineMgr>();
        ASSERT_TRUE(scanEngines->RegisterEngine(ENGINE_ID_PAGE_MGR, CPageMgr::Create(GetEngineMgr()).Get()));
        engine = CScannerEngine::Create(scanEngines.get());
        ASSERT_TRUE(scanEngines->RegisterEngine(ENGINE_ID_SCANNER, engine.Get()));
    }
    void TearDown() override {
        CMessageQueueWindow w;
        scanEngines->StopAllEngines(&w);
        while (auto m = w.GetMessage(60000))
            if (m->msg == WM_PV_ENGINES_STOPPED) break;
        test::ResetCacheSettings();
    }

    SScanResult Scan(const std::string& url, const SScanProfile& profile, bool reload = false) {
        CMessageQueueWindow window;
        SScanRequest request{url, reload, profile, &window};
        RefPtr<IScanner> scanner;
        EXPECT_TRUE(engine->CreateScanner(&request, scanner.Put()));
        SScanResult r;
        if (!scanner) return r;
        while (auto m = window.GetMessage(60000)) {
            if (m->msg == WM_SCAN_ELEMENT) {
                std::unique_ptr<SScanElement> e(reinterpret_cast<SScanElement*>(m->wp));
                r.elements.push_back(test::CScanDriver::Describe(*e));
            } else if (m->msg == WM_SCAN_THUMB_FETCHED) {
                std::unique_ptr<std::string> u(reinterpret_cast<std::string*>(m->wp)), p(reinterpret_cast<std::string*>(m->lp));
                r.fetchedFiles.push_back(*p);
            } else {
                FreeScanNotice(m->msg, m->wp, m->lp);
                if (m->msg == WM_SCAN_ENDED) {
                    r.ended = true;
                    break;
                }
            }
        }
        r.title = scanner->GetPageTitle();
        r.error = scanner->GetErrorText();
        r.pages = scanner->GetPagesScanned();
        scanner->Close();
        return r;
    }
    std::string Url(const std::string& path) { return web.Url("/gallery/" + path); }

    test::NginxServer web;
    test::TempDir cache;
    std::unique_ptr<CEngineMgr> scanEngines;
    RefPtr<CScannerEngine> engine;
};

TEST_F(ScannerLiveTest, SinglePageThenFromTheCacheThenReloaded) {
    SScanProfile single = DefaultScanProfiles()[0];
    SScanResult first = Scan(Url("index.html"), single);
    ASSERT_TRUE(first.ended);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.title, "Gallery");
    Strings want;
    for (int i = 1; i <= 3; ++i) {
        std::string n = "p" + std::to_string(i) + ".jpg";
        want.push_back("T " + Url("big/" + n) + " thumb=" + Url("small/" + n) + " text=" + n + " on " + Url("index.html"));
    }
    want.push_back("L " + Url("page2.html") + " on " + Url("index.html"));
    want.push_back("L " + Url("about.html") + " on " + Url("index.html"));
    EXPECT_EQ(first.elements, want);
    ASSERT_EQ(first.fetchedFiles.size(), 3u);
    Strings smalls;
    for (auto& f : first.fetchedFiles) {
        EXPECT_EQ(fs::path(f).parent_path(), cache.Path());
        smalls.push_back(test::ReadFile(f));
    }
    std::sort(smalls.begin(), smalls.end());
    EXPECT_EQ(smalls, (Strings{"small p1", "small p2", "small p3"}));

    SScanResult again = Scan(Url("index.html"), single);
    EXPECT_EQ(again.elements, want);
    EXPECT_EQ(CountRequests(web, "/gallery/index.html"), 1);
    EXPECT_EQ(CountRequests(web, "/gallery/small/p1.jpg"), 1);

    SScanResult reloaded = Scan(Url("index.html"), single, true);
    EXPECT_EQ(reloaded.elements, want);
    EXPECT_EQ(CountRequests(web, "/gallery/index.html"), 2);
    EXPECT_EQ(CountRequests(web, "/gallery/small/p1.jpg"), 2);
}

TEST_F(ScannerLiveTest, MixedGalleryFollowsNumberedPagesOneThumbnailFromEach) {
    SScanResult r = Scan(Url("index.html"), DefaultScanProfiles()[3]);
    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.pages, 2);
    EXPECT_EQ(r.elements, (Strings{
                              "T " + Url("big/p1.jpg") + " thumb=" + Url("small/p1.jpg") + " text=p1.jpg on " + Url("index.html"),
                              // the skipped thumbnails' small pictures are shown on the page
                              "P " + Url("small/p2.jpg") + " on " + Url("index.html"),
                              "P " + Url("small/p3.jpg") + " on " + Url("index.html"),
                              "T " + Url("big/q1.jpg") + " thumb=" + Url("small/q1.jpg") + " text=q1.jpg on " + Url("page2.html"),
                              "P " + Url("small/q2.jpg") + " on " + Url("page2.html"),
                              "P " + Url("photo.png") + " on " + Url("page2.html"),
                          }));
    EXPECT_EQ(CountRequests(web, "/gallery/about.html"), 0);  // no digit: never followed
    EXPECT_EQ(CountRequests(web, "/gallery/page2.html"), 1);
}

TEST_F(ScannerLiveTest, AMissingStartPageFailsWithTheServersAnswer) {
    SScanResult r = Scan(Url("missing.html"), DefaultScanProfiles()[0]);
    ASSERT_TRUE(r.ended);
    EXPECT_FALSE(r.error.empty());
    EXPECT_TRUE(r.elements.empty());
    EXPECT_EQ(r.pages, 0);
}

}  // namespace
}  // namespace plover
