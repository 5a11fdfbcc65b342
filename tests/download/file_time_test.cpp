// The server's file time: the three forms of an HTTP date, the clients that take it, and the
// time set on a file.
#include "download/file_time.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testutil/temp_dir.h"

namespace plover {
namespace {

TEST(FileTime, HttpDates) {
    struct { const char* text; std::optional<int64_t> seconds; } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Tue, 29 Feb 2028 23:59:59 GMT", 1835481599},
        {"Wed, 11 Dec 2024 10:00:00 GMT", 1733911200},
        {"", std::nullopt},
        {"yesterday", std::nullopt},
        {"Sun, 06 Nov 1994 08:49 GMT", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 25:49:37 GMT", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(ParseHttpDate(c.text), c.seconds) << c.text;
}

TEST(FileTime, ThePageCacheKeepsItsOwnTimes) {
    EXPECT_TRUE(TakesServerFileTime(1));     // the user's downloads
    EXPECT_TRUE(TakesServerFileTime(1000));  // a basket's
    EXPECT_FALSE(TakesServerFileTime(4));    // pages and small pictures of the cache
    EXPECT_FALSE(TakesServerFileTime(1999)); // previews
}

TEST(FileTime, SetOnTheFile) {
    test::TempDir dir;
    std::string path = (dir.Path() / "a.bin").string();
    test::WriteFile(path, "x");
    EXPECT_TRUE(SetFileTimeFromHttpDate(path, "Sun, 06 Nov 1994 08:49:37 GMT"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 784111777);
    EXPECT_FALSE(SetFileTimeFromHttpDate(path, "not a date"));
    EXPECT_FALSE(SetFileTimeFromHttpDate((dir.Path() / "missing").string(), "Sun, 06 Nov 1994 08:49:37 GMT"));
}

}  // namespace
}  // namespace plover
