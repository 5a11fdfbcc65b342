// plover collect as a user meets it: a generated gallery on nginx collected into a basket end to
// end (every picture byte for byte, the summary's figures matching the folder), collected again
// (nothing fetched, and plover scan marks the pictures "on disk"), one picture deleted by hand
// and collected again (only that one fetched); a damaged history starts empty with a warning.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kPictures = 12;

class CollectCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("PLOVER_BINARY_DIR", PLOVER_TEST_BINARY_DIR, 0);
        // A gallery page: thumbnails linking to their pictures, sizes from a few KiB to 300 KiB.
        fs::create_directories(web.Root() / "thumbs");
        fs::create_directories(web.Root() / "pictures");
        std::string page = "<html><head><title>Generated</title></head><body>\n";
        for (int i = 0; i < kPictures; ++i) {
            std::string n = "pic" + std::to_string(i) + ".jpg";
            WriteFile(web.Root() / "thumbs" / n, PatternBytes(2000 + size_t(i), uint32_t(i + 100)));
            WriteFile(web.Root() / "pictures" / n, PatternBytes(4000 + size_t(i) * 25000, uint32_t(i)));
            page += "<a href=\"pictures/" + n + "\"><img src=\"thumbs/" + n + "\" width=\"120\" height=\"90\"></a>\n";
        }
        WriteFile(web.Root() / "gallery.html", page + "</body></html>\n");
        fs::create_directories(basket);
        SRunResult add = RunPlover(home.Str(), {"basket", "add", "Gallery", basket.string()});
        ASSERT_EQ(add.exitCode, 0) << add.err;
    }
    SRunResult Collect() { return RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "gallery", "--json"}); }
    std::string Picture(int i) const { return "pic" + std::to_string(i) + ".jpg"; }

    NginxServer web;
    TempDir home, files;
    fs::path basket = files.Path() / "basket";
};

TEST_F(CollectCliTest, CollectedOnceThenNothingNewThenOnlyTheDeletedOne) {
    SRunResult first = Collect();
    ASSERT_EQ(first.exitCode, 0) << first.out << first.err;
    json s = LastJsonLine(first.out);
    EXPECT_EQ(s["downloaded"], kPictures);
    EXPECT_EQ(s["alreadyInBasket"], 0);
    EXPECT_TRUE(s["failed"].empty());
    size_t onDisk = 0;
    for (auto& e : fs::directory_iterator(basket)) onDisk += e.is_regular_file();
    EXPECT_EQ(onDisk, size_t(kPictures));
    // Kept connections: a handful, not one a picture.
    EXPECT_LT(web.ConnectionsUsed() * 2, web.RequestsLogged()) << web.ConnectionLog();
    for (int i = 0; i < kPictures; ++i) {
        EXPECT_EQ(Sha256Of((basket / Picture(i)).string()), Sha256Of((web.Root() / "pictures" / Picture(i)).string()))
            << Picture(i);
        EXPECT_EQ(web.RequestCount("/pictures/" + Picture(i)), 1);
    }

    // Again: everything is known and in place; nothing is fetched.
    SRunResult second = RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Gallery"});
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_NE(second.out.find("Nothing new to download"), std::string::npos) << second.out;
    for (int i = 0; i < kPictures; ++i) EXPECT_EQ(web.RequestCount("/pictures/" + Picture(i)), 1);
    SRunResult scan = RunPlover(home.Str(), {"scan", web.Url("/gallery.html"), "--json"});
    ASSERT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_EQ(std::count_if(scan.out.begin(), scan.out.end(), [](char c) { return c == '\n'; }), kPictures + 2);
    size_t marks = 0;
    for (size_t at = scan.out.find("\"mark\":\"on disk\""); at != std::string::npos;
         at = scan.out.find("\"mark\":\"on disk\"", at + 1))
        ++marks;
    EXPECT_EQ(marks, size_t(kPictures));

    // One picture deleted by hand: only that one is fetched again, under its own name.
    fs::remove(basket / Picture(5));
    SRunResult third = Collect();
    ASSERT_EQ(third.exitCode, 0) << third.out << third.err;
    s = LastJsonLine(third.out);
    EXPECT_EQ(s["downloaded"], 1);
    EXPECT_EQ(s["alreadyInBasket"], kPictures - 1);
    for (int i = 0; i < kPictures; ++i) EXPECT_EQ(web.RequestCount("/pictures/" + Picture(i)), i == 5 ? 2 : 1);
    EXPECT_EQ(Sha256Of((basket / Picture(5)).string()), Sha256Of((web.Root() / "pictures" / Picture(5)).string()));
    EXPECT_FALSE(fs::exists(basket / (Picture(5) + "1")));
}

TEST_F(CollectCliTest, ADamagedHistoryStartsEmptyWithAWarning) {
    ASSERT_EQ(Collect().exitCode, 0);
    WriteFile(home.Path() / "DownloadDB.sdb", "not a history");
    SRunResult scan = RunPlover(home.Str(), {"scan", web.Url("/gallery.html"), "--json"});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_NE(scan.err.find("download history"), std::string::npos) << scan.err;
    EXPECT_NE(scan.err.find("empty history"), std::string::npos) << scan.err;
    EXPECT_EQ(scan.out.find("on disk"), std::string::npos);
    std::string kept;
    for (const auto& e : std::filesystem::directory_iterator(home.Path()))
        if (e.path().filename().string().rfind("DownloadDB.sdb.damaged-", 0) == 0) kept = ReadFile(e.path());
    EXPECT_EQ(kept, "not a history");
    // The next save wrote a valid, empty history.
    EXPECT_EQ(ReadFile(home.Path() / "DownloadDB.sdb"), std::string("\x01\0\0\0\0\0\0\0\0\0\0\0", 12));
}

TEST_F(CollectCliTest, UnknownBasketAndStoppedQueueAreRefused) {
    SRunResult r = RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Nope"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no basket named \"Nope\""), std::string::npos) << r.err;
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "eTrafficMode", "3"}).exitCode, 0);
    r = Collect();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("download queue is stopped"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace plover::test
