// The page manager fetching through the program's real downloader and socket engine from nginx on
// loopback: pages land in the cache and later requests are answered from it; the cache modes with
// copies aged by the test; conditional re-fetches answered "304"; empty and missing pages; two
// requests sharing one fetch; a fetch cancelled at once; an address the downloader already holds
// for the cache; a page behind a login waiting and then cancelled; redirections.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "download/download_config.h"
#include "download/i_download.h"
#include "download/i_downloader.h"
#include "scan/page_mgr_files.h"
#include "page_mgr_fixture.h"
#include "testutil/servers.h"

namespace plover {
namespace {

namespace fs = std::filesystem;
using test::CPageRecorder;
using test::CRunningPageMgr;
using test::ReadFile;
using test::SetAgeHours;
using test::TempDir;
using test::WriteFile;

// How many requests of the access log ask for `uri`, and with which statuses.
std::vector<std::string> Requests(const test::NginxServer& web, const std::string& uri) {
    std::vector<std::string> statuses;
    std::istringstream log(web.AccessLog());
    std::string method, path, status, rest;
    while (log >> method >> path >> status && std::getline(log, rest))
        if (path == uri) statuses.push_back(status);
    return statuses;
}

// nginx writes a request's log line just after its last byte is sent, which may be a moment after
// the client has it all: waits (generously) until `uri` is logged `count` times.
std::vector<std::string> RequestsOnceLogged(const test::NginxServer& web, const std::string& uri, size_t count = 1) {
    for (int i = 0; i < 500 && Requests(web, uri).size() < count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return Requests(web, uri);
}

class PageMgrLiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::CLiveEngines::Start()) << "the downloader did not start";
        GetSettings().eCacheMode = 1;
        fs::create_directories(web.Root() / "g");
        WriteFile(web.Root() / "g" / "index.html", kPage);
    }
    ~PageMgrLiveTest() override { test::ResetCacheSettings(); }

    std::unique_ptr<CRunningPageMgr> Run() {
        return std::make_unique<CRunningPageMgr>(cache.Path(), GetEngineMgr());
    }
    // Requests url and waits for the next call of the recorder.
    CPageRecorder::SCall Fetch(CRunningPageMgr& run, const std::string& url, bool reload = false) {
        size_t before = recorder.Count();
        RefPtr<IWebFile> file;
        EXPECT_TRUE(run->RequestFile(url, "http://referrer/", reload, &recorder, file.Put()));
        EXPECT_TRUE(recorder.WaitFor(before + 1)) << url;
        if (recorder.Count() <= before) return {};
        return recorder.At(before);
    }
    std::vector<std::string> CacheFiles() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(cache.Path()))
            if (IsCacheFileName(e.path().filename().string())) names.push_back(e.path().filename().string());
        return names;
    }

    static constexpr const char* kPage = "<html><title>G</title><a href=\"big/p1.jpg\"><img src=\"s/p1.jpg\"></a></html>";
    test::NginxServer web;
    TempDir cache;
    CPageRecorder recorder;
};

TEST_F(PageMgrLiveTest, FetchesIntoTheCacheAndAnswersLaterRequestsFromIt) {
    std::string url = web.Url("/g/index.html");
    {
        auto run = Run();
        auto first = Fetch(*run, url);
        ASSERT_EQ(first.kind, 'C') << first.status;
        EXPECT_EQ(fs::path(first.path).parent_path(), cache.Path());
        EXPECT_TRUE(IsCacheFileName(fs::path(first.path).filename().string()));
        EXPECT_EQ(ReadFile(first.path), kPage);
        EXPECT_EQ(first.effective, url);
        EXPECT_EQ((*run)->GetCachedCount(), 1);
        EXPECT_EQ((*run)->GetCacheSize(), std::string(kPage).size());
        EXPECT_EQ((*run)->GetPendingCount(), 0);

        // The ended fetch has left the downloader's list.
        RefPtr<IEngine> engine;
        ASSERT_TRUE(GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()));
        auto downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
        auto pageFetches = [&] {
            std::unique_ptr<CDownloadArray> all(downloader->GetDownloadArray(nullptr));
            size_t n = 0;
            if (all)
                for (IDownload* listed : *all) n += listed->GetClientID() == kPageMgrClientID;
            return n;
        };
        for (int i = 0; i < 500 && pageFetches() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(pageFetches(), 0u);

        // A fresh copy is answered from the cache (the server's log below shows one request).
        auto again = Fetch(*run, url);
        EXPECT_EQ(again.kind, 'C');
        EXPECT_EQ(again.path, first.path);
    }
    {
        auto run = Run();  // the next start reads the saved index
        EXPECT_EQ((*run)->GetCachedCount(), 1);
        EXPECT_EQ(Fetch(*run, url).path, recorder.At(0).path);
    }
    EXPECT_EQ(RequestsOnceLogged(web, "/g/index.html"), std::vector<std::string>{"200"});
}

TEST_F(PageMgrLiveTest, ADayOldCopyIsCheckedWithIfModifiedSince) {
    std::string url = web.Url("/g/index.html");
    std::string stored;
    {
        auto run = Run();
        stored = Fetch(*run, url).path;
        ASSERT_FALSE(stored.empty());
    }
    ASSERT_FALSE(test::ReadIndexFile(cache.Path()).GetLastModified(0).empty());

    // Unchanged on the server: "304", the copy and its row stay, and the copy counts as fresh again.
    SetAgeHours(stored, 30);
    {
        auto run = Run();
        auto checked = Fetch(*run, url);
        ASSERT_EQ(checked.kind, 'C') << checked.status;
        EXPECT_EQ(checked.path, stored);
        EXPECT_EQ(ReadFile(stored), kPage);
        EXPECT_EQ((*run)->GetCachedCount(), 1);
        int64_t age = 0;
        ASSERT_TRUE(FileAgeSeconds(stored, &age));
        EXPECT_LT(age, 3600);
    }
    EXPECT_EQ(RequestsOnceLogged(web, "/g/index.html", 2), (std::vector<std::string>{"200", "304"}));

    // Changed on the server: the new version replaces the copy in place, with its new size.
    WriteFile(web.Root() / "g" / "index.html", "<html>new and longer</html>");
    SetAgeHours(web.Root() / "g" / "index.html", -1);  // a later Last-Modified
    SetAgeHours(stored, 30);
    {
        auto run = Run();
        auto renewed = Fetch(*run, url);
        ASSERT_EQ(renewed.kind, 'C') << renewed.status;
        EXPECT_EQ(renewed.path, stored);
        EXPECT_EQ(ReadFile(stored), "<html>new and longer</html>");
        EXPECT_EQ((*run)->GetCacheSize(), std::string("<html>new and longer</html>").size());
    }
    EXPECT_EQ(RequestsOnceLogged(web, "/g/index.html", 3), (std::vector<std::string>{"200", "304", "200"}));
}

TEST_F(PageMgrLiveTest, ADayOldCopyWithoutADateIsFetchedAgainIntoANewFile) {
    std::string url = web.Url("/g/index.html");
    std::string stored;
    {
        auto run = Run();
        stored = Fetch(*run, url).path;
    }
    CCacheIndex index = test::ReadIndexFile(cache.Path());
    index.SetLastModified(0, "");
    test::WriteIndexFile(cache.Path(), index);
    SetAgeHours(stored, 30);
    auto run = Run();
    auto again = Fetch(*run, url);
    ASSERT_EQ(again.kind, 'C') << again.status;
    EXPECT_NE(again.path, stored);
    EXPECT_FALSE(fs::exists(stored));  // replaced, not left behind
    EXPECT_EQ(CacheFiles().size(), 1u);
    EXPECT_EQ((*run)->GetCachedCount(), 1);
    EXPECT_EQ(RequestsOnceLogged(web, "/g/index.html", 2), (std::vector<std::string>{"200", "200"}));
}

TEST_F(PageMgrLiveTest, EveryVisitAndReloadFetchAgain) {
    std::string url = web.Url("/g/index.html");
    auto run = Run();
    std::string first = Fetch(*run, url).path;
    GetSettings().eCacheMode = 0;
    auto second = Fetch(*run, url);
    ASSERT_EQ(second.kind, 'C');
    EXPECT_NE(second.path, first);
    GetSettings().eCacheMode = 2;
    auto third = Fetch(*run, url, true);
    ASSERT_EQ(third.kind, 'C');
    EXPECT_FALSE(fs::exists(second.path));
    EXPECT_EQ(CacheFiles(), std::vector<std::string>{fs::path(third.path).filename().string()});
    EXPECT_EQ((*run)->GetCachedCount(), 1);
    EXPECT_EQ(RequestsOnceLogged(web, "/g/index.html", 3).size(), 3u);
}

TEST_F(PageMgrLiveTest, EmptyAndMissingPagesFailAndLeaveNoRow) {
    WriteFile(web.Root() / "empty.html", "");
    auto run = Run();
    auto empty = Fetch(*run, web.Url("/empty.html"));
    EXPECT_EQ(empty.kind, 'F');
    EXPECT_EQ(empty.status, "Failed");
    EXPECT_FALSE(fs::exists(empty.path));
    auto missing = Fetch(*run, web.Url("/none.html"));
    EXPECT_EQ(missing.kind, 'F');
    EXPECT_EQ(missing.status, "File not found");
    EXPECT_EQ((*run)->GetCachedCount(), 0);
    EXPECT_EQ((*run)->GetPendingCount(), 0);
}

TEST_F(PageMgrLiveTest, TwoRequestsForOneAddressShareOneFetch) {
    // nginx sends a second's worth at once and then keeps to the rate: 64 KiB at 32 KiB/s take
    // about a second, so the second request comes while the first fetch runs.
    test::NginxOptions options;
    options.limitRate = 32 * 1024;
    test::NginxServer slow(options);
    std::string big(64 * 1024, 'x');
    WriteFile(slow.Root() / "big.html", big);
    std::string url = slow.Url("/slow/big.html");
    auto run = Run();
    RefPtr<IWebFile> a, b;
    ASSERT_TRUE((*run)->RequestFile(url, "", false, &recorder, a.Put()));
    ASSERT_TRUE((*run)->RequestFile(url, "", false, &recorder, b.Put()));
    // Both are taken up while the first fetch runs.
    for (int i = 0; i < 500 && (*run)->GetPendingCount() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ((*run)->GetPendingCount(), 2);
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_EQ(recorder.At(0).kind, 'C');
    EXPECT_EQ(recorder.At(1).kind, 'C');
    EXPECT_EQ(recorder.At(0).path, recorder.At(1).path);
    EXPECT_EQ(ReadFile(recorder.At(0).path), big);
    EXPECT_EQ((*run)->GetCachedCount(), 1);
    EXPECT_EQ(CacheFiles().size(), 1u);
    EXPECT_EQ(RequestsOnceLogged(slow, "/slow/big.html").size(), 1u);
}

TEST_F(PageMgrLiveTest, AFetchCancelledAtOnceEnds) {
    // The cancel may come before the downloader has made the fetch's download, or just after.
    test::NginxOptions options;
    options.limitRate = 32 * 1024;
    test::NginxServer slow(options);
    WriteFile(slow.Root() / "big.html", std::string(256 * 1024, 'x'));
    auto run = Run();
    RefPtr<IWebFile> file;
    ASSERT_TRUE((*run)->RequestFile(slow.Url("/slow/big.html"), "", false, &recorder, file.Put()));
    file->Cancel();
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.At(0).kind, 'F');
    EXPECT_EQ(recorder.At(0).status, "Deleted");
    EXPECT_EQ((*run)->GetPendingCount(), 0);
    EXPECT_TRUE(CacheFiles().empty());
}

TEST_F(PageMgrLiveTest, AnAddressTheDownloaderHoldsForTheCacheFailsAndLeavesNoFile) {
    std::string url = web.Url("/g/index.html");
    RefPtr<IEngine> engine;
    ASSERT_TRUE(GetEngineMgr()->GetEngine(ENGINE_ID_DOWNLOADER, engine.Put()));
    RefPtr<IDownloader> downloader = QueryAs<IDownloader>(engine.Get(), IID_IDownloader);
    ASSERT_TRUE(downloader);
    TempDir elsewhere;
    auto* config = new SDownloadConfig;
    config->URL_original = config->URL_remote = url;
    config->LocalFolder = elsewhere.Str();
    config->ClientID = kPageMgrClientID;
    config->StartMode = START_PAUSED;
    RefPtr<IDownload> held;
    downloader->AddDownload(config, nullptr, held.Put());
    ASSERT_TRUE(held);

    auto run = Run();
    auto page = Fetch(*run, url);
    EXPECT_EQ(page.kind, 'F');
    EXPECT_EQ((*run)->GetPendingCount(), 0);
    EXPECT_TRUE(CacheFiles().empty());  // the file made for each try is gone
    held->PostOperation(new SDnlOp(DNLOP_DELETE), 0);
}

TEST_F(PageMgrLiveTest, APageBehindALoginWaitsAndCancellingEndsIt) {
    fs::create_directories(web.Root() / "auth");
    WriteFile(web.Root() / "auth" / "p.html", kPage);
    auto run = Run();
    auto waiting = Fetch(*run, web.Url("/auth/p.html"));
    ASSERT_EQ(waiting.kind, 'W');
    RefPtr<IDownload> download;
    ASSERT_TRUE(waiting.file->GetDownload(download.Put()));
    EXPECT_EQ(download->GetSuperStatus(), DS_UNAUTHORIZED);
    EXPECT_EQ((*run)->GetPendingCount(), 1);

    waiting.file->Cancel();
    ASSERT_TRUE(recorder.WaitFor(2));
    EXPECT_EQ(recorder.At(1).kind, 'F');
    EXPECT_EQ(recorder.At(1).status, "Deleted");
    EXPECT_EQ((*run)->GetPendingCount(), 0);
}

TEST_F(PageMgrLiveTest, ARedirectedPageIsStoredUnderItsAddressWithWhereItCameFrom) {
    std::string url = web.Url("/r302/g/index.html");
    auto run = Run();
    auto page = Fetch(*run, url);
    ASSERT_EQ(page.kind, 'C') << page.status;
    EXPECT_EQ(page.effective, web.Url("/g/index.html"));
    EXPECT_EQ(ReadFile(page.path), kPage);
    CCacheIndex index = (*run)->SnapshotIndex();
    ASSERT_EQ(index.GetCount(), 1);
    EXPECT_EQ(index.GetUrl(0), url);
    EXPECT_EQ(index.GetEffectiveUrl(0), web.Url("/g/index.html"));
}

}  // namespace
}  // namespace plover
