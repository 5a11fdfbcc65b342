// The page cache on disk without the network: the index loaded at start and saved at stop, the
// sweep, answers from stored copies under the cache modes with file times set by the test, the
// space check, clearing and moving. No downloader runs here, so every fetch fails at once.
#include <gtest/gtest.h>

#include "scan/page_mgr_files.h"
#include "page_mgr_fixture.h"

namespace plover {
namespace {

namespace fs = std::filesystem;
using test::CPageRecorder;
using test::CRunningPageMgr;
using test::ReadFile;
using test::SetAgeHours;
using test::TempDir;
using test::WriteFile;
using test::WriteIndexFile;

class PageCacheTest : public ::testing::Test {
protected:
    ~PageCacheTest() override { test::ResetCacheSettings(); }

    // A stored copy of `url` in file `name` holding `body`.
    void Store(CCacheIndex& index, const std::string& url, const std::string& name, const std::string& body,
               const std::string& date = "", uint32_t size = 0) {
        WriteFile(dir / name, body);
        ASSERT_GE(index.Add(url, url + "?effective", name, date, size ? size : uint32_t(body.size())), 0);
    }

    TempDir dir;
    CPageRecorder recorder;
};

TEST_F(PageCacheTest, StartSweepsTheCachesOwnUnnamedFilesOnly) {
    CCacheIndex index;
    Store(index, "http://h/a.html", "srch1.tmp", "a");
    WriteIndexFile(dir.Path(), index);
    WriteFile(dir / "srch2.tmp", "orphan");
    WriteFile(dir / "SRCH3.TMP", "orphan too");
    WriteFile(dir / "other.tmp", "not ours");
    WriteFile(dir / "notes.txt", "not ours");
    CRunningPageMgr run(dir.Path());
    EXPECT_EQ(run->GetCachedCount(), 1);
    EXPECT_EQ(run->GetCacheSize(), 1u);
    EXPECT_TRUE(fs::exists(dir / "srch1.tmp"));
    EXPECT_FALSE(fs::exists(dir / "srch2.tmp"));
    EXPECT_FALSE(fs::exists(dir / "SRCH3.TMP"));
    EXPECT_TRUE(fs::exists(dir / "other.tmp"));
    EXPECT_TRUE(fs::exists(dir / "notes.txt"));
}

TEST_F(PageCacheTest, IndexWithoutFileSweepsNothing) {
    WriteFile(dir / "srch2.tmp", "left alone");
    CRunningPageMgr run(dir.Path());
    EXPECT_EQ(run->GetCachedCount(), 0);
    EXPECT_TRUE(fs::exists(dir / "srch2.tmp"));
}

TEST_F(PageCacheTest, DamagedIndexIsDiscardedAndTheFolderSwept) {
    CCacheIndex index;
    Store(index, "http://h/a.html", "srch1.tmp", "a");
    Store(index, "http://h/b.html", "srch2.tmp", "b");
    std::string bytes = index.Serialize();
    // The size column one entry short: its count says 1, and the stamp column follows at once.
    size_t sizes = bytes.size() - 2 * (2 + 8);
    std::string damaged =
        bytes.substr(0, sizes) + std::string("\x01\x00", 2) + bytes.substr(sizes + 2, 4) + bytes.substr(sizes + 10);
    WriteFile(dir / kCacheIndexName, damaged);
    WriteFile(dir / "srch9.tmp", "another orphan");
    fs::create_directories(dir / "sub");
    WriteFile(dir / "sub" / "srch8.tmp", "below the folder: not swept");
    {
        CRunningPageMgr run(dir.Path());
        EXPECT_EQ(run->GetLoadResult(), ECacheIndexLoad::LengthMismatch);
        EXPECT_EQ(run->GetCachedCount(), 0);
        EXPECT_EQ(run->GetCacheSize(), 0u);
    }
    for (const char* name : {"srch1.tmp", "srch2.tmp", "srch9.tmp"}) EXPECT_FALSE(fs::exists(dir / name)) << name;
    EXPECT_TRUE(fs::exists(dir / "sub" / "srch8.tmp"));
    // The stop wrote the emptied index.
    EXPECT_EQ(ReadFile(dir / kCacheIndexName), CCacheIndex().Serialize());
}

TEST_F(PageCacheTest, HostileFileNamesNeverReachOutsideTheFolder) {
    TempDir outside;
    WriteFile(outside / "srchX.tmp", "precious");
    CCacheIndex index;
    index.Add("http://h/a", "http://h/a", "../" + outside.Path().filename().string() + "/srchX.tmp", "", 1);
    WriteIndexFile(dir.Path(), index);
    {
        CRunningPageMgr run(dir.Path());
        EXPECT_EQ(run->GetLoadResult(), ECacheIndexLoad::BadFileName);
        run->ClearCache();
    }
    EXPECT_EQ(ReadFile(outside / "srchX.tmp"), "precious");
}

TEST_F(PageCacheTest, IndexSurvivesAStopAndAStart) {
    CCacheIndex index;
    Store(index, "http://h/b.html", "srch1.tmp", "bbb", "Mon, 01 Jan 2024 00:00:00 GMT");
    Store(index, "http://h/a.jpg", "srch2.tmp", "a");
    WriteIndexFile(dir.Path(), index);
    std::string before = ReadFile(dir / kCacheIndexName);
    { CRunningPageMgr run(dir.Path()); }
    EXPECT_EQ(ReadFile(dir / kCacheIndexName), before);
}

TEST_F(PageCacheTest, StoredCopiesUnderTheCacheModes) {
    struct SCase {
        const char* what;
        int32_t mode;
        double ageHours;
        const char* date;
        bool reload;
        bool stored;     // answered from the copy at once
        bool rowStays;
        bool fileStays;
    } cases[] = {
        {"never", 2, 1000, "", false, true, true, true},
        {"automatic, 23 hours old", 1, 23, "", false, true, true, true},
        {"automatic, 30 hours old, with a date", 1, 30, "Mon, 01 Jan 2024 00:00:00 GMT", false, false, true, true},
        {"automatic, 30 hours old, no date", 1, 30, "", false, false, true, true},
        {"every visit", 0, 0, "", false, false, true, true},
        {"reload", 2, 0, "", true, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir folder;
        CCacheIndex index;
        WriteFile(folder / "srch1.tmp", "<html>page</html>");
        index.Add("http://h/p.html", "http://h/final.html", "srch1.tmp", c.date, 17);
        WriteIndexFile(folder.Path(), index);
        SetAgeHours(folder / "srch1.tmp", c.ageHours);
        GetSettings().eCacheMode = c.mode;
        CPageRecorder calls;
        CRunningPageMgr run(folder.Path());
        RefPtr<IWebFile> file;
        ASSERT_TRUE(run->RequestFile("http://h/p.html", "", c.reload, &calls, file.Put()));
        // A stored copy is answered inside the request; a fetch fails here (no downloader).
        ASSERT_TRUE(calls.WaitFor(1));
        auto call = calls.At(0);
        EXPECT_EQ(call.file.Get(), file.Get());
        if (c.stored) {
            EXPECT_EQ(call.kind, 'C');
            EXPECT_EQ(call.path, (folder / "srch1.tmp").string());
            EXPECT_EQ(call.effective, "http://h/final.html");
        } else {
            EXPECT_EQ(call.kind, 'F');
            EXPECT_EQ(call.status, "Failed");
        }
        EXPECT_EQ(run->GetCachedCount(), c.rowStays ? 1 : 0);
        EXPECT_EQ(fs::exists(folder / "srch1.tmp"), c.fileStays);
        EXPECT_EQ(run->GetPendingCount(), 0);
    }
}

TEST_F(PageCacheTest, AMissingFileDropsItsRow) {
    CCacheIndex index;
    index.Add("http://h/p.html", "http://h/p.html", "srch1.tmp", "", 10);
    WriteIndexFile(dir.Path(), index);
    GetSettings().eCacheMode = 2;
    CRunningPageMgr run(dir.Path());
    RefPtr<IWebFile> file;
    ASSERT_TRUE(run->RequestFile("http://h/p.html", "", false, &recorder, file.Put()));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.At(0).kind, 'F');
    EXPECT_EQ(run->GetCachedCount(), 0);
    EXPECT_EQ(run->GetCacheSize(), 0u);
}

// RequestFile returns before the page manager takes the request up; one it never takes up (it
// has stopped) fails, so that nobody waits for it.
TEST_F(PageCacheTest, ARequestTheStoppedPageManagerNeverTakesUpFails) {
    CRunningPageMgr run(dir.Path());
    RefPtr<CPageMgr> pm = run.pm;
    run.Stop();
    RefPtr<IWebFile> file;
    ASSERT_TRUE(pm->RequestFile("http://h/p.html", "", false, &recorder, file.Put()));
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.At(0).kind, 'F');
    EXPECT_EQ(recorder.At(0).file.Get(), file.Get());
}

TEST_F(PageCacheTest, RequestsWithoutAnAddressOrOutSlotAreRefused) {
    CRunningPageMgr run(dir.Path());
    RefPtr<IWebFile> file;
    EXPECT_FALSE(run->RequestFile("", "", false, &recorder, file.Put()));
    EXPECT_FALSE(file);
    EXPECT_FALSE(run->RequestFile("http://h/", "", false, &recorder, nullptr));
    EXPECT_EQ(recorder.Count(), 0u);
}

TEST_F(PageCacheTest, SpaceCheckEvictsTheOldestRowsUntilWithinTheLimit) {
    constexpr uint32_t kMB = 1048576;
    // Five rows of 5 MB each (25 MB); the files themselves are small, the sizes are the index's.
    const char* names[] = {"srchA.tmp", "srchB.tmp", "srchC.tmp", "srchD.tmp", "srchE.tmp"};
    const uint32_t stamps[] = {4, 0, 3, 1, 2};  // B, D, E, C, A from oldest to newest
    std::string bytes = std::string("\x07\0\0\0", 4);
    auto strings = [&](auto make) {
        bytes += std::string("\x05\0\0\0", 4);
        for (int i = 0; i < 5; ++i) {
            std::string s = make(i);
            bytes += char(s.size()) + s;
        }
    };
    strings([](int i) { return "http://h/" + std::string(1, char('a' + i)); });
    strings([](int i) { return "http://h/" + std::string(1, char('a' + i)); });
    strings([&](int i) { return std::string(names[i]); });
    strings([](int) { return std::string(); });
    auto numbers = [&](auto value) {
        bytes += std::string("\x05\0", 2);
        for (int i = 0; i < 5; ++i) {
            uint32_t v = value(i);
            for (int b = 0; b < 4; ++b) bytes += char(v >> (8 * b) & 0xFF);
        }
    };
    numbers([](int) { return 5 * kMB; });
    numbers([&](int i) { return stamps[i]; });
    WriteFile(dir / kCacheIndexName, bytes);
    for (const char* n : names) WriteFile(dir / n, "x");

    GetSettings().iMaxCacheSpace = 20;
    CRunningPageMgr run(dir.Path());
    ASSERT_EQ(run->GetCacheSize(), 25u * kMB);
    run->CheckSpaceNow();
    EXPECT_EQ(run->GetCacheSize(), 20u * kMB);
    EXPECT_FALSE(fs::exists(dir / "srchB.tmp"));
    GetSettings().iMaxCacheSpace = 12;
    run->CheckSpaceNow();
    EXPECT_EQ(run->GetCacheSize(), 10u * kMB);
    for (const char* gone : {"srchB.tmp", "srchD.tmp", "srchE.tmp"}) EXPECT_FALSE(fs::exists(dir / gone)) << gone;
    for (const char* kept : {"srchA.tmp", "srchC.tmp"}) EXPECT_TRUE(fs::exists(dir / kept)) << kept;
    EXPECT_EQ(run->GetCachedCount(), 2);
}

TEST_F(PageCacheTest, ClearDeletesEveryCachedFile) {
    CCacheIndex index;
    Store(index, "http://h/a.html", "srch1.tmp", "a");
    Store(index, "http://h/b.html", "srch2.tmp", "bb");
    WriteIndexFile(dir.Path(), index);
    WriteFile(dir / "notes.txt", "kept");
    {
        CRunningPageMgr run(dir.Path());
        ASSERT_EQ(run->GetCachedCount(), 2);
        run->ClearCache();
        EXPECT_EQ(run->GetCachedCount(), 0);
        EXPECT_EQ(run->GetCacheSize(), 0u);
        EXPECT_FALSE(fs::exists(dir / "srch1.tmp"));
        EXPECT_FALSE(fs::exists(dir / "srch2.tmp"));
        EXPECT_FALSE(fs::exists(dir / kCacheIndexName));
    }
    EXPECT_TRUE(fs::exists(dir / "notes.txt"));
    EXPECT_EQ(test::ReadIndexFile(dir.Path()).GetCount(), 0);
}

TEST_F(PageCacheTest, MoveTakesEveryFileAndKeepsOthersFilesInTheTarget) {
    TempDir target;
    CCacheIndex index;
    Store(index, "http://h/a.html", "srch1.tmp", "a");
    Store(index, "http://h/b.html", "srch2.tmp", "bb");
    WriteIndexFile(dir.Path(), index);
    WriteFile(target / "srch1.tmp", "someone else's");
    GetSettings().eCacheMode = 2;
    {
        CRunningPageMgr run(dir.Path());
        ASSERT_TRUE(run->MoveCacheFiles((target / "new").string()));
        EXPECT_EQ(run->GetCacheFolder(), (target / "new").string());
        ASSERT_TRUE(run->MoveCacheFiles(target.Str()));
        EXPECT_EQ(run->GetCacheFolder(), target.Str());
        EXPECT_EQ(run->GetCachedCount(), 2);
        // The moved copies answer requests from their new place.
        RefPtr<IWebFile> file;
        ASSERT_TRUE(run->RequestFile("http://h/a.html", "", false, &recorder, file.Put()));
        ASSERT_TRUE(recorder.WaitFor(1));
        EXPECT_EQ(recorder.At(0).kind, 'C');
        EXPECT_EQ(fs::path(recorder.At(0).path).parent_path(), target.Path());
        EXPECT_EQ(ReadFile(recorder.At(0).path), "a");
    }
    EXPECT_EQ(ReadFile(target / "srch1.tmp"), "someone else's");
    EXPECT_FALSE(fs::exists(dir / "srch1.tmp"));
    EXPECT_FALSE(fs::exists(dir / "srch2.tmp"));
    EXPECT_FALSE(fs::exists(dir / kCacheIndexName));
    EXPECT_EQ(test::ReadIndexFile(target.Path()).GetCount(), 2);
}

TEST(PageCacheFiles, NewCacheFilesAreEmptyAndNeverReused) {
    TempDir dir;
    std::string a, b;
    ASSERT_TRUE(CreateCacheFile(dir.Path(), &a));
    ASSERT_TRUE(CreateCacheFile(dir.Path(), &b));
    EXPECT_NE(a, b);
    EXPECT_TRUE(IsCacheFileName(a));
    EXPECT_EQ(a.substr(0, 4), "srch");
    EXPECT_EQ(fs::file_size(dir / a), 0u);
    EXPECT_FALSE(CreateCacheFile(dir / "missing", &a));
    for (const char* name : {"srch1.tmp", "SRCHAB.TMP", "srchx.Tmp"}) EXPECT_TRUE(IsCacheFileName(name)) << name;
    for (const char* name : {"srch.tmp", "xsrch1.tmp", "srch1.tmpx", "other.tmp"})
        EXPECT_FALSE(IsCacheFileName(name)) << name;
}

}  // namespace
}  // namespace plover
