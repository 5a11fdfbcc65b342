// plover collect against nginx where the home already holds something: a picture fetched before
// with plover get (it is collected all the same), a picture whose address the user's own
// unfinished download holds (reported as queued elsewhere, and the exit status says that not
// everything was collected), two pictures of one name (the second is "p (1).jpg"), a basket
// whose folder was deleted (one "Can't create folder" and the end), and SIGTERM while the scan
// fetches its thumbnails (the run ends at once).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Waits (up to a minute) until `done` holds.
template <class Condition>
bool WaitFor(Condition done) {
    for (int i = 0; i < 3000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

NginxOptions SlowNginx() {
    NginxOptions o;
    o.limitRate = 2000;  // bytes per second under /slow/: a 400 KB file takes minutes
    return o;
}

class CollectOutcomesTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PLOVER_BINARY_DIR", PLOVER_TEST_BINARY_DIR, 0);
        // Two pictures named p.jpg in two folders, one picture served slowly.
        for (const char* f : {"a", "b", "thumbs"}) fs::create_directories(web.Root() / f);
        WriteFile(web.Root() / "a/p.jpg", PatternBytes(5000, 1));
        WriteFile(web.Root() / "b/p.jpg", PatternBytes(6000, 2));
        WriteFile(web.Root() / "big.jpg", PatternBytes(400000, 3));
        for (const char* t : {"ta.jpg", "tb.jpg", "tbig.jpg"}) WriteFile(web.Root() / "thumbs" / t, PatternBytes(300, 4));
        WriteFile(web.Root() / "gallery.html",
                  "<title>Outcomes</title>\n<a href=\"a/p.jpg\"><img src=\"thumbs/ta.jpg\"></a>\n"
                  "<a href=\"b/p.jpg\"><img src=\"thumbs/tb.jpg\"></a>\n"
                  "<a href=\"/slow/big.jpg\"><img src=\"thumbs/tbig.jpg\"></a>\n");
        fs::create_directories(basket);
        fs::create_directories(files.Path() / "downloads");
        SRunResult add = RunPlover(home.Str(), {"basket", "add", "Outcomes", basket.string()});
        ASSERT_EQ(add.exitCode, 0) << add.err;
        ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);
    }
    SRunResult Collect() {
        return RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Outcomes", "--json"});
    }

    NginxServer web{SlowNginx()};
    TempDir home, files, cache;
    fs::path basket = files.Path() / "basket";
};

TEST_F(CollectOutcomesTest, AFinishedGetDoesNotKeepAPictureOutButTheUsersQueuedDownloadDoes) {
    // Fetched before by the user into a folder of their own: collected into the basket all the same.
    SRunResult get = RunPlover(home.Str(), {"get", web.Url("/a/p.jpg"), "--folder", (files / "downloads").string()});
    ASSERT_EQ(get.exitCode, 0) << get.err;
    // The slow picture is being fetched by the user when the run is interrupted: it stays queued.
    {
        CBackgroundPlover slow(home.Str(), {"get", web.Url("/slow/big.jpg"), "--folder", (files / "downloads").string()},
                               files.Str());
        ASSERT_TRUE(WaitFor([&] { return fs::exists(files.Path() / "downloads/big.jpg"); }));
        slow.Signal(SIGTERM);
        EXPECT_EQ(slow.Wait(60000).exitCode, 130);
    }

    SRunResult r = Collect();
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;  // not everything was collected
    json s = LastJsonLine(r.out);
    EXPECT_EQ(s["downloaded"], 2) << r.out;
    ASSERT_EQ(s["queuedElsewhere"].size(), 1u) << r.out;
    EXPECT_EQ(s["queuedElsewhere"][0]["url"], web.Url("/slow/big.jpg"));
    EXPECT_TRUE(s["failed"].empty()) << r.out;
    // Two pictures of one name: the second takes the number before its extension.
    EXPECT_EQ(Sha256Of((basket / "p.jpg").string()), Sha256Of((web.Root() / "a/p.jpg").string()));
    EXPECT_EQ(Sha256Of((basket / "p (1).jpg").string()), Sha256Of((web.Root() / "b/p.jpg").string()));
    EXPECT_FALSE(fs::exists(basket / "big.jpg"));
    EXPECT_NE(RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Outcomes"}).out.find(
                  "queued elsewhere"),
              std::string::npos);
}

TEST_F(CollectOutcomesTest, ADeletedBasketFolderIsReportedOnceAndEndsTheRun) {
    fs::remove_all(basket);
    SRunResult r = RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Outcomes"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_EQ(Occurrences(r.out + r.err, "Can't create folder\n" + basket.string()), 1u) << r.out << r.err;
    EXPECT_EQ(r.out.find("Wait for user"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("Wait for user"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(basket));  // not made again in its place
    EXPECT_EQ(LastJsonLine(Collect().out)["error"], "Can't create folder\n" + basket.string());
}

TEST_F(CollectOutcomesTest, SigtermWhileTheScanFetchesThumbnailsEndsTheRunAtOnce) {
    // Every thumbnail comes slowly: the scan is still fetching them when the signal comes.
    std::string page = "<title>Slow</title>\n";
    for (int i = 0; i < 8; ++i) {
        std::string n = "s" + std::to_string(i) + ".jpg";
        WriteFile(web.Root() / "thumbs" / n, PatternBytes(400000, uint32_t(10 + i)));
        page += "<a href=\"a/p.jpg\"><img src=\"/slow/thumbs/" + n + "\"></a>\n";
    }
    WriteFile(web.Root() / "slow.html", page);
    CBackgroundPlover run(home.Str(), {"collect", web.Url("/slow.html"), "--basket", "Outcomes"}, files.Str());
    // The page is back (nginx logs a request when it is done): the thumbnails are under way.
    ASSERT_TRUE(WaitFor([&] { return web.AccessLog().find("/slow.html") != std::string::npos; }));
    run.Signal(SIGTERM);
    SRunResult r = run.Wait(20000);  // a thumbnail alone takes over three minutes
    EXPECT_EQ(r.exitCode, 130) << r.out << r.err;
    EXPECT_NE(r.err.find("Interrupted"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace plover::test
