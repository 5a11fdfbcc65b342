// The download history: the file "DownloadDB.sdb" byte for byte and its damaged forms, the
// history's operations (a gone file forgotten on lookup, folders renamed and forgotten), the
// queue register, the window messages, the preview sweep and the scan panes' tips.
#include "baskets/download_db.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <set>
#include <sys/stat.h>

#include <filesystem>

#include "baskets/db_file.h"
#include "baskets/download_tips.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

std::string U32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
    return s;
}

// Takes every message the window holds, as (message, address) pairs; frees the strings.
std::vector<std::pair<uint32_t, std::string>> Drain(CMessageQueueWindow& w) {
    std::vector<std::pair<uint32_t, std::string>> out;
    while (auto m = w.GetMessage(0)) {
        auto* s = reinterpret_cast<std::string*>(m->wp);
        out.emplace_back(m->msg, s ? *s : std::string());
        FreeDownloadDBNotice(m->msg, m->wp, m->lp);
    }
    return out;
}

class DownloadDBTest : public ::testing::Test {
protected:
    std::string Existing(const std::string& name) {
        fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        WriteFile(p, "picture " + name);
        return p.string();
    }
    std::string DBFile() const { return (dir / kDownloadDBName).string(); }

    TempDir dir;
    CDownloadDB db;
};

TEST(DownloadDBFile, BytesOfEveryStringLengthForm) {
    std::string s300(300, 'p'), s70k(70000, 'q');
    std::string bytes = EncodeDownloadDB({"a", s300, s70k}, {"", "xy", "z"});
    std::string want = U32(1) + U32(3) + "\x01" "a" + "\xFF\x2C\x01" + s300 + std::string("\xFF\xFF\xFF", 3) +
                       U32(70000) + s70k + U32(3) + std::string("\x00", 1) + "\x02xy" + "\x01z";
    EXPECT_EQ(bytes, want);
    // The boundaries: 254 is one byte, 255 needs the 16-bit form, 0xFFFD is the last 16-bit one.
    std::string one;
    AppendDBString(one, std::string(254, 'x'));
    EXPECT_EQ(uint8_t(one[0]), 254);
    std::string two;
    AppendDBString(two, std::string(255, 'x'));
    EXPECT_EQ(two.substr(0, 3), std::string("\xFF\xFF\x00", 3));
    std::string last16;
    AppendDBString(last16, std::string(0xFFFD, 'x'));
    EXPECT_EQ(last16.substr(0, 3), std::string("\xFF\xFD\xFF", 3));
    std::string first32;
    AppendDBString(first32, std::string(0xFFFE, 'x'));
    EXPECT_EQ(first32.substr(0, 7), std::string("\xFF\xFF\xFF", 3) + U32(0xFFFE));

    std::vector<std::string> a, p;
    ASSERT_EQ(DecodeDownloadDB(bytes, a, p), EDownloadDBRead::Loaded);
    EXPECT_EQ(a, (std::vector<std::string>{"a", s300, s70k}));
    EXPECT_EQ(p, (std::vector<std::string>{"", "xy", "z"}));
}

TEST_F(DownloadDBTest, SavedAndReloadedGivesTheSamePairs) {
    std::string p1 = Existing("b/one.jpg"), p2 = Existing("b/two.jpg"), p3 = Existing("b/three.jpg");
    db.Record("http://h/z.jpg", p1);
    db.Record("http://h/a.jpg", p2);
    db.Record("http://h/m.jpg", p3);
    db.Record("http://h/a.jpg", p3);  // a known address keeps its old path
    ASSERT_TRUE(db.Save(DBFile()));
    // Addresses in ascending order, each path beside its address.
    EXPECT_EQ(ReadFile(DBFile()), EncodeDownloadDB({"http://h/a.jpg", "http://h/m.jpg", "http://h/z.jpg"}, {p2, p3, p1}));

    CDownloadDB again;
    EXPECT_EQ(again.Load(DBFile()).status, SDownloadDBLoad::EStatus::Loaded);
    EXPECT_EQ(again.Entries(), db.Entries());
    EXPECT_EQ(again.Lookup("http://h/z.jpg"), p1);
    EXPECT_FALSE(fs::exists(DBFile() + ".tmp-" + std::to_string(::getpid())));
}

TEST_F(DownloadDBTest, AFileInAnyOrderKeepsEachPathWithItsAddress) {
    std::string pa = Existing("a.jpg"), pb = Existing("b.jpg");
    WriteFile(DBFile(), EncodeDownloadDB({"http://h/b", "http://h/a", "http://h/b"}, {pb, pa, pa}));
    ASSERT_EQ(db.Load(DBFile()).status, SDownloadDBLoad::EStatus::Loaded);
    // Sorted, paired, and the repeated address keeps its first path.
    EXPECT_EQ(db.Entries(), (std::vector<std::pair<std::string, std::string>>{{"http://h/a", pa}, {"http://h/b", pb}}));
}

TEST_F(DownloadDBTest, DamagedFilesGiveAnEmptyHistoryAndTheNextSaveIsValid) {
    std::string good = EncodeDownloadDB({"http://h/a"}, {"/x/a"});
    struct SCase {
        const char* name;
        std::string bytes;
        EDownloadDBRead why;
    } cases[] = {
        {"another version", U32(2) + good.substr(4), EDownloadDBRead::BadVersion},
        {"lists of different lengths", U32(1) + U32(1) + "\x01" "a" + U32(0), EDownloadDBRead::LengthMismatch},
        {"truncated inside a string", good.substr(0, good.size() - 2), EDownloadDBRead::Truncated},
        {"truncated count", good.substr(0, 6), EDownloadDBRead::Truncated},
        {"count beyond the bytes", U32(1) + U32(0x7FFFFFFF), EDownloadDBRead::Truncated},
        {"length form never written", U32(1) + U32(1) + "\xFF\xFE\xFF" + U32(0), EDownloadDBRead::BadString},
        {"empty file", "", EDownloadDBRead::Truncated},
    };
    std::set<std::string> kept;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        db.Record("http://h/old", Existing("old.jpg"));
        WriteFile(DBFile(), c.bytes);
        SDownloadDBLoad r = db.Load(DBFile());
        EXPECT_EQ(r.status, SDownloadDBLoad::EStatus::Damaged);
        EXPECT_EQ(r.read, c.why);
        EXPECT_EQ(db.GetCount(), 0u);
        // What the file held is kept beside it, each damaged file under a name of its own; the
        // next save writes a valid file.
        ASSERT_EQ(r.keptAs.rfind(DBFile() + ".damaged-", 0), 0u) << r.keptAs;
        EXPECT_EQ(ReadFile(r.keptAs), c.bytes);
        EXPECT_TRUE(kept.insert(r.keptAs).second) << "a second damaged file replaced the first copy";
        ASSERT_TRUE(db.Save(DBFile()));
        EXPECT_EQ(ReadFile(DBFile()), U32(1) + U32(0) + U32(0));
    }
}

TEST_F(DownloadDBTest, AMissingFileIsAnEmptyHistory) {
    EXPECT_EQ(db.Load(DBFile()).status, SDownloadDBLoad::EStatus::Missing);
    EXPECT_TRUE(db.IsLoaded());
    EXPECT_EQ(db.GetCount(), 0u);
}

TEST_F(DownloadDBTest, ASaveThatCannotWriteLeavesThePreviousFileWhole) {
    db.Record("http://h/a", Existing("a.jpg"));
    ASSERT_TRUE(db.Save(DBFile()));
    std::string before = ReadFile(DBFile());
    db.Record("http://h/b", Existing("b.jpg"));
    // The disk takes no more than the old file's size: the new, longer file cannot be written.
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = before.size();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string error;
    bool written = db.Save(DBFile(), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(DBFile()), before);

}

TEST_F(DownloadDBTest, LookupForgetsAFileThatWasDeleted) {
    std::string p = Existing("gone.jpg");
    db.Record("http://h/gone.jpg", p);
    EXPECT_EQ(db.Lookup("http://h/gone.jpg"), p);
    fs::remove(p);
    EXPECT_EQ(db.Lookup("http://h/gone.jpg"), "");
    EXPECT_EQ(db.GetCount(), 0u);
    ASSERT_TRUE(db.Save(DBFile()));
    EXPECT_EQ(ReadFile(DBFile()), U32(1) + U32(0) + U32(0));
    EXPECT_EQ(db.Lookup(""), "");
}

TEST_F(DownloadDBTest, MoveUnderKeepsEveryEntryBelowTheFolderFindable) {
    std::string in1 = Existing("old/a.jpg"), in2 = Existing("old/sub/b.jpg"), sibling = Existing("oldies/c.jpg");
    db.Record("http://h/a", in1);
    db.Record("http://h/b", in2);
    db.Record("http://h/c", sibling);
    fs::rename(dir / "old", dir / "new");
    db.MoveUnder((dir / "old").string(), (dir / "new").string());
    EXPECT_EQ(db.Lookup("http://h/a"), (dir / "new/a.jpg").string());
    EXPECT_EQ(db.Lookup("http://h/b"), (dir / "new/sub/b.jpg").string());
    // A folder whose name merely begins like the renamed one is left alone.
    EXPECT_EQ(db.Lookup("http://h/c"), sibling);
}

TEST_F(DownloadDBTest, ForgettingFilesAndFolders) {
    std::string a = Existing("f/a.jpg"), b = Existing("f/b.jpg"), c = Existing("g/c.jpg");
    db.Record("http://h/a", a);
    db.Record("http://h/b", b);
    db.Record("http://h/c", c);
    db.Record("http://h/gone", (dir / "f/gone.jpg").string());
    db.ForgetUnder((dir / "f").string(), true);  // only what no longer exists
    EXPECT_EQ(db.GetCount(), 3u);
    db.ForgetUnder((dir / "f").string(), false);
    EXPECT_EQ(db.GetCount(), 1u);
    db.ForgetPaths({c, "/not/known"});
    EXPECT_EQ(db.GetCount(), 0u);
}

TEST_F(DownloadDBTest, WindowsHearRecordsAndQueueChangesTheMainWindowRenames) {
    CMessageQueueWindow pane, other, main;
    db.RegisterWindow(&pane);
    db.RegisterWindow(&other);
    db.UnregisterWindow(&other);
    db.SetMainWindow(&main);

    db.Enqueue("http://h/a", "/b/a.jpg");
    EXPECT_TRUE(db.IsQueuedAddress("http://h/a"));
    EXPECT_TRUE(db.IsQueuedPath("/b/a.jpg"));
    db.Dequeue("http://h/a", "/b/a.jpg");
    EXPECT_FALSE(db.IsQueuedAddress("http://h/a"));
    EXPECT_FALSE(db.IsQueuedPath("/b/a.jpg"));
    std::string p = Existing("a.jpg");
    db.Record("http://h/a", p);
    db.Record("http://h/a", p);  // known: nothing changes, nobody hears

    EXPECT_EQ(Drain(pane), (std::vector<std::pair<uint32_t, std::string>>{
                               {WM_PV_ADDRESS_QUEUED, "http://h/a"},
                               {WM_PV_ADDRESS_DEQUEUED, "http://h/a"},
                               {WM_PV_FILE_RECORDED, "http://h/a"}}));
    EXPECT_TRUE(Drain(other).empty());
    EXPECT_EQ(main.Pending(), 0u);

    db.RenamePath(p, (dir / "b.jpg").string());
    db.RenamePath("/not/known", "/x");  // told in either case
    EXPECT_EQ(main.Pending(), 2u);
    EXPECT_EQ(main.GetMessage(0)->msg, WM_PV_HISTORY_CHANGED);
    EXPECT_EQ(db.Entries().at(0).second, (dir / "b.jpg").string());
}

TEST_F(DownloadDBTest, PreviewsTheHistoryNoLongerKnowsGoAfterARestart) {
    std::string previews = PreviewFolderOf((dir / "cache").string());
    std::string kept = Existing("cache/lrgfiles/kept.jpg");
    std::string stray = Existing("cache/lrgfiles/stray.jpg");
    std::string noDot = Existing("cache/lrgfiles/nodot");
    db.Record("http://h/kept.jpg", kept);
    ASSERT_TRUE(db.Save(DBFile()));

    CDownloadDB restarted;
    restarted.Load(DBFile());
    EXPECT_EQ(restarted.SweepPreviews(previews), 2);
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_FALSE(fs::exists(stray));
    EXPECT_FALSE(fs::exists(noDot));
    // A missing preview folder is created.
    std::string fresh = PreviewFolderOf((dir / "other").string());
    EXPECT_EQ(restarted.SweepPreviews(fresh), 0);
    EXPECT_TRUE(fs::is_directory(fresh));
}

TEST_F(DownloadDBTest, TipsOfTheScanPanes) {
    std::string previews = PreviewFolderOf((dir / "cache").string());
    db.Record("http://h/preview.jpg", Existing("cache/lrgfiles/preview.jpg"));
    db.Record("http://h/basket.jpg", Existing("basket/basket.jpg"));
    db.Record("http://h/look-alike.jpg", Existing("cache/lrgfiles2/x.jpg"));
    db.Enqueue("http://h/queued.jpg", "/b/queued.jpg");
    struct SCase {
        const char* url;
        EDownloadState state;
        const char* text;
    } cases[] = {
        {"http://h/preview.jpg", EDownloadState::Preview,
         "You already have this file on your hard drive.\nClick to open it or drop to a basket."},
        {"http://h/basket.jpg", EDownloadState::InBasket,
         "You already have this file on your hard drive in a basket.\nClick to open it."},
        {"http://h/look-alike.jpg", EDownloadState::InBasket,
         "You already have this file on your hard drive in a basket.\nClick to open it."},
        {"http://h/queued.jpg", EDownloadState::Queued, "This file is in the download queue."},
        {"http://h/unknown.jpg", EDownloadState::None, ""},
    };
    for (const SCase& c : cases) {
        SDownloadTip tip = DescribeAddress(db, c.url, previews);
        EXPECT_EQ(tip.state, c.state) << c.url;
        EXPECT_EQ(tip.text, c.text) << c.url;
    }
    EXPECT_EQ(PropertiesText(db, "http://h/basket.jpg"),
              "You already have this file on your hard drive at:\n" + (dir / "basket/basket.jpg").string());
    EXPECT_EQ(PropertiesText(db, "http://h/unknown.jpg"), "");
}

}  // namespace
}  // namespace plover
