// plover scan against a gallery that the test writes and nginx serves on loopback, checked as a
// user would: what it prints (text and --json), its exit status, and what the server's log shows
// was fetched (a second scan comes from the page cache, --reload fetches again).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

using nlohmann::json;

class ScanCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // index: three thumbnails straight to their pictures, a numbered page and one without a
        // digit; page2: two thumbnails and a picture on the page; page3 is reached from page2.
        std::filesystem::create_directories(Gallery() / "small");
        std::filesystem::create_directories(Gallery() / "big");
        std::string index = "<html><head><title>Holiday</title></head><body>\n";
        for (int i = 1; i <= 3; ++i)
            index += "<a href=\"big/p" + std::to_string(i) + ".jpg\"><img src=\"small/p" + std::to_string(i) +
                     ".jpg\" width=100></a>\n";
        index += "<p><a href=\"page2.html\">Next page</a> <a href=\"about.html\">About</a></p></body></html>\n";
        WriteFile(Gallery() / "index.html", index);
        WriteFile(Gallery() / "page2.html",
                  "<title>Two</title><a href=\"big/q1.jpg\"><img src=\"small/q1.jpg\"></a>\n"
                  "<a href=\"big/q2.jpg\"><img src=\"small/q2.jpg\"></a>\n<img src=\"photo.png\">\n"
                  "<a href=\"page3.html\">3</a>\n");
        WriteFile(Gallery() / "page3.html", "<title>Three</title><a href=\"big/r1.jpg\"><img src=\"small/r1.jpg\"></a>\n");
        for (const char* n : {"p1", "p2", "p3", "q1", "q2", "r1"}) {
            WriteFile(Gallery() / "small" / (std::string(n) + ".jpg"), std::string("small ") + n);
            WriteFile(Gallery() / "big" / (std::string(n) + ".jpg"), std::string("big ") + n);
        }
        // A page cache of this test's own.
        ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);
    }
    std::filesystem::path Gallery() const { return web.Root() / "gallery"; }
    std::string Url(const std::string& path) const { return web.Url("/gallery/" + path); }
    SRunResult Scan(std::vector<std::string> args) {
        args.insert(args.begin(), "scan");
        return RunPlover(home.Str(), args);
    }

    NginxServer web;
    TempDir home, cache;
};

TEST_F(ScanCliTest, SinglePageListsEveryThumbnailOnceWithItsAddresses) {
    SRunResult r = Scan({Url("index.html"), "--profile", "Scan Single Page"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("Holiday\n" + Url("index.html") + "\n", 0), 0u) << r.out;
    for (int i = 1; i <= 3; ++i) {
        std::string n = "p" + std::to_string(i) + ".jpg";
        std::string entry = "  " + Url("big/" + n) + "\n    thumbnail " + Url("small/" + n) + "\n    page      " +
                            Url("index.html") + "\n";
        EXPECT_EQ(Occurrences(r.out, entry), 1u) << r.out;
        EXPECT_EQ(Occurrences(r.out, Url("big/" + n)), 1u) << r.out;
    }
    EXPECT_NE(r.out.find("Thumbnails (3):"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Page links (2):"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    text      Next page\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Large pictures"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 pages scanned: 3 thumbnails, 0 large pictures, 2 page links."), std::string::npos) << r.out;
    EXPECT_EQ(web.RequestCount("/gallery/page2.html"), 0);
}

TEST_F(ScanCliTest, JsonGivesOneObjectPerResult) {
    SRunResult r = Scan({Url("index.html"), "--json"});  // the first profile: "Scan Single Page"
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 1u + 3 + 2 + 1) << r.out;
    EXPECT_EQ(lines[0]["type"], "page");
    EXPECT_EQ(lines[0]["title"], "Holiday");
    EXPECT_EQ(lines[1]["type"], "thumbnail");
    EXPECT_EQ(lines[1]["url"], Url("big/p1.jpg"));
    EXPECT_EQ(lines[1]["thumbnail"], Url("small/p1.jpg"));
    EXPECT_EQ(lines[1]["page"], Url("index.html"));
    EXPECT_EQ(lines[1]["text"], "p1.jpg");
    EXPECT_EQ(ReadFile(lines[1]["thumbnailFile"].get<std::string>()), "small p1");
    EXPECT_FALSE(lines[1].contains("mark"));  // no download history: nothing is marked
    EXPECT_EQ(lines[4]["type"], "link");
    EXPECT_EQ(lines[4]["url"], Url("page2.html"));
    EXPECT_EQ(lines[4]["text"], "Next page");
    EXPECT_EQ(lines.back()["type"], "summary");
    EXPECT_EQ(lines.back()["pagesScanned"], 1);
    EXPECT_EQ(lines.back()["complete"], true);
}

TEST_F(ScanCliTest, RecursiveProfileFollowsNumberedPagesOneThumbnailFromEach) {
    SRunResult r = Scan({Url("index.html"), "--profile", "3", "--json"});  // "Scan Mixed Gallery"
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::vector<std::string> thumbnails, pictures;
    for (auto& j : JsonLines(r.out)) {
        if (j["type"] == "thumbnail") thumbnails.push_back(j["url"]);
        if (j["type"] == "picture") pictures.push_back(j["url"]);
        if (j["type"] == "summary") {
            EXPECT_EQ(j["pagesScanned"], 3);
        }
    }
    EXPECT_EQ(thumbnails, (std::vector<std::string>{Url("big/p1.jpg"), Url("big/q1.jpg"), Url("big/r1.jpg")}));
    EXPECT_EQ(pictures, (std::vector<std::string>{Url("small/p2.jpg"), Url("small/p3.jpg"), Url("small/q2.jpg"),
                                                  Url("photo.png")}));
    EXPECT_EQ(web.RequestCount("/gallery/about.html"), 0);

    // Depth 1: page2 is scanned, page3 (found on page2) is not.
    ASSERT_EQ(RunPlover(home.Str(), {"profiles", "edit", "3", "--depth", "1"}).exitCode, 0);
    SRunResult shallow = Scan({Url("index.html"), "--profile", "Scan Mixed Gallery", "--json"});
    ASSERT_EQ(shallow.exitCode, 0) << shallow.err;
    EXPECT_EQ(JsonLines(shallow.out).back()["pagesScanned"], 2);
    EXPECT_EQ(web.RequestCount("/gallery/page3.html"), 1);  // only the first scan's
}

TEST_F(ScanCliTest, ASecondScanComesFromTheCacheAndReloadFetchesAgain) {
    ASSERT_EQ(Scan({Url("index.html")}).exitCode, 0);
    EXPECT_EQ(web.RequestCount("/gallery/index.html"), 1);
    EXPECT_EQ(web.RequestCount("/gallery/small/p1.jpg"), 1);

    SRunResult cached = Scan({Url("index.html")});
    ASSERT_EQ(cached.exitCode, 0) << cached.err;
    EXPECT_EQ(Occurrences(cached.out, "    thumbnail "), 3u) << cached.out;
    EXPECT_EQ(web.RequestCount("/gallery/index.html"), 1);
    EXPECT_EQ(web.RequestCount("/gallery/small/p1.jpg"), 1);

    SRunResult reloaded = Scan({Url("index.html"), "--reload"});
    ASSERT_EQ(reloaded.exitCode, 0) << reloaded.err;
    EXPECT_EQ(reloaded.out, cached.out);
    EXPECT_EQ(web.RequestCount("/gallery/index.html"), 2);
    EXPECT_EQ(web.RequestCount("/gallery/small/p1.jpg"), 2);
}

TEST_F(ScanCliTest, RefusalsAndFailures) {
    SRunResult missing = Scan({Url("missing.html")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("(" + Url("missing.html") + ")"), std::string::npos) << missing.err;

    ASSERT_EQ(RunPlover(home.Str(), {"profiles", "add", "Nothing", "--thumbnails", "no", "--large-pictures", "no",
                                     "--links", "no"})
                  .exitCode,
              0);
    SRunResult nothing = Scan({Url("index.html"), "--profile", "nothing"});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.err,
              "You haven't selected what to scan for: thumbnails, links to other pictures or links to other pages.\n");
    EXPECT_EQ(web.RequestCount("/gallery/index.html"), 0);

    SRunResult unknown = Scan({Url("index.html"), "--profile", "No Such Profile"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("No Such Profile"), std::string::npos);

    SRunResult notAddress = Scan({"gallery/index.html"});
    EXPECT_EQ(notAddress.exitCode, 2);
    EXPECT_NE(notAddress.err.find("not an HTTP or FTP address"), std::string::npos);
}

}  // namespace
}  // namespace plover::test
