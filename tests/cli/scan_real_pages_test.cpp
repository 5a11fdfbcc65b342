// plover scan of pages written as real sites write them, served by nginx: values in single
// quotes and character references in addresses, captions and the title; and a page (and a
// thumbnail) that the user fetched before with plover get, scanned again with --reload.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

using nlohmann::json;

std::vector<json> OfType(const std::vector<json>& lines, const char* type) {
    std::vector<json> out;
    for (const json& j : lines)
        if (j["type"] == type) out.push_back(j);
    return out;
}

class ScanRealPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(web.Root() / "pics");
        std::filesystem::create_directories(web.Root() / "thumbs");
        for (const char* n : {"p1.jpg", "p2.jpg"}) {
            WriteFile(web.Root() / "pics" / n, std::string("big ") + n);
            WriteFile(web.Root() / "thumbs" / n, std::string("small ") + n);
        }
        WriteFile(web.Root() / "show.php", "<title>Shown</title>");
        WriteFile(web.Root() / "index.html",
                  "<html><head><title>Tom &amp; Jerry &#8211; Part&nbsp;2</title></head><body>\n"
                  "<a href='pics/p1.jpg'><img src='thumbs/p1.jpg' alt='it&apos;s \"one\"'></a>\n"
                  "<A HREF='pics/p2.jpg' class=x><IMG SRC='thumbs/p2.jpg'></A>\n"
                  "<a href=\"show.php?a=1&amp;b=2\">Next &gt;</a>\n</body></html>\n");
        ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);
    }
    SRunResult Scan(std::vector<std::string> args) {
        args.insert(args.begin(), "scan");
        return RunPlover(home.Str(), args);
    }

    NginxServer web;
    TempDir home, cache, files;
};

TEST_F(ScanRealPagesTest, SingleQuotedValuesAndCharacterReferencesAreReadAsBrowsersDo) {
    SRunResult r = Scan({web.Url("/index.html"), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto lines = JsonLines(r.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0]["title"], "Tom & Jerry \u2013 Part\u00a02");
    auto thumbnails = OfType(lines, "thumbnail");
    ASSERT_EQ(thumbnails.size(), 2u) << r.out;
    for (size_t i = 0; i < 2; ++i) {
        std::string n = "p" + std::to_string(i + 1) + ".jpg";
        EXPECT_EQ(thumbnails[i]["url"], web.Url("/pics/" + n));
        EXPECT_EQ(thumbnails[i]["thumbnail"], web.Url("/thumbs/" + n));
        EXPECT_EQ(ReadFile(thumbnails[i]["thumbnailFile"].get<std::string>()), "small " + n);
        EXPECT_EQ(web.RequestCount("/thumbs/" + n), 1);
    }
    auto links = OfType(lines, "link");
    ASSERT_EQ(links.size(), 1u) << r.out;
    EXPECT_EQ(links[0]["url"], web.Url("/show.php?a=1&b=2"));
    EXPECT_EQ(links[0]["text"], "Next >");
    EXPECT_EQ(web.AccessLog().find('\''), std::string::npos) << web.AccessLog();  // no quote reached a request
}

TEST_F(ScanRealPagesTest, APageAndAThumbnailFetchedBeforeWithGetAreScannedAgainWithReload) {
    for (const char* path : {"/index.html", "/thumbs/p1.jpg"}) {
        SRunResult get = RunPlover(home.Str(), {"get", web.Url(path), "--folder", files.Str()});
        ASSERT_EQ(get.exitCode, 0) << path << get.err;
    }
    int pageBefore = web.RequestCount("/index.html"), thumbnailBefore = web.RequestCount("/thumbs/p1.jpg");
    SRunResult r = Scan({web.Url("/index.html"), "--reload", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    auto thumbnails = OfType(JsonLines(r.out), "thumbnail");
    ASSERT_EQ(thumbnails.size(), 2u) << r.out;
    EXPECT_EQ(ReadFile(thumbnails[0]["thumbnailFile"].get<std::string>()), "small p1.jpg");
    // Both fetched again for the scan.
    EXPECT_EQ(web.RequestCount("/index.html"), pageBefore + 1);
    EXPECT_EQ(web.RequestCount("/thumbs/p1.jpg"), thumbnailBefore + 1);
}

}  // namespace
}  // namespace plover::test
