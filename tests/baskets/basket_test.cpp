// Baskets: their storage under "Baskets" and their IDs, the properties rules with their
// messages, the default baskets of an installation, and the dispatch of dropped addresses
// (a known file moved under a free name, a known file already in place left alone, a known file
// that was deleted downloaded again, one subfolder per server).
#include "baskets/basket.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "app/message.h"
#include "app/reg_key.h"
#include "app/reg_node.h"
#include "app/settings.h"
#include "baskets/basket_dispatch.h"
#include "baskets/default_baskets.h"
#include "baskets/fake_downloader.h"
#include "engine/sinks.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

CBasket* NewBasket(const std::string& name, const std::string& folder, int32_t id = kNoBasketID,
                   uint32_t dispatch = DISPATCH_ROOT) {
    auto* b = new CBasket;
    b->csName = name;
    b->csRootFolder = folder;
    b->dwID = id;
    b->eDispatch = dispatch;
    return b;
}

class BasketStoreTest : public ::testing::Test {
protected:
    BasketStoreTest() { EXPECT_TRUE(plover_.OpenForWrite(root_, kPloverKey)); }
    HKEY root_ = std::make_shared<CRegNode>("");
    CBRRegKey plover_;
};

TEST_F(BasketStoreTest, SavedBasketsComeBackInOrderWithTheirValues) {
    CBasketList list;
    for (int i = 0; i < 12; ++i) list.Add(NewBasket("B" + std::to_string(i), "/b/" + std::to_string(i)));
    CBasket* b = list.GetAt(10);
    b->icon.csFile = "/icons/Cars.ico";
    b->icon.iIndex = 3;
    b->eDispatch = DISPATCH_PER_SERVER;
    list.Save(plover_);

    CBRRegKey key;
    ASSERT_TRUE(key.OpenForRead(plover_, "Baskets\\10\\FileIcon"));
    std::string file;
    EXPECT_TRUE(key.ReadString("csFile", file));
    EXPECT_EQ(file, "/icons/Cars.ico");

    CBasketList loaded;
    loaded.Load(plover_);
    ASSERT_EQ(loaded.GetSize(), 12);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(loaded.GetAt(i)->csName, "B" + std::to_string(i));  // "10" after "9"
        EXPECT_EQ(loaded.GetAt(i)->dwID, i + 1);
    }
    EXPECT_EQ(loaded.GetAt(10)->icon.iIndex, 3);
    EXPECT_EQ(loaded.GetAt(10)->eDispatch, uint32_t(DISPATCH_PER_SERVER));
    EXPECT_EQ(loaded.GetAt(10)->GetClientID(), 1011);
    EXPECT_EQ(loaded.FindByClient(1011), loaded.GetAt(10));
    EXPECT_EQ(loaded.FindByName("b3"), loaded.GetAt(3));

    // Saving again after a removal rewrites the whole key: no stale subkey stays.
    loaded.Remove(loaded.GetAt(0));
    loaded.Save(plover_);
    CBasketList again;
    again.Load(plover_);
    EXPECT_EQ(again.GetSize(), 11);
    EXPECT_EQ(again.GetAt(0)->csName, "B1");
}

TEST_F(BasketStoreTest, BasketsWithoutAnIDGetTheLargestPlusOne) {
    CBasketList list;
    EXPECT_EQ(list.NextID(), 1);
    list.Add(NewBasket("zero", "/z", 0));
    EXPECT_EQ(list.NextID(), 1);  // none above 0
    list.Add(NewBasket("seven", "/s", 7));
    list.Add(NewBasket("new", "/n"));
    EXPECT_EQ(list.GetAt(2)->dwID, 8);

    // Stored without IDs: they are given once all are in, never colliding with a stored one.
    CBRRegKey key;
    ASSERT_TRUE(key.OpenForWrite(plover_, "Baskets\\0"));
    key.WriteString("csName", "first");
    ASSERT_TRUE(key.OpenForWrite(plover_, "Baskets\\1"));
    key.WriteString("csName", "second");
    key.WriteDWord("dwID", 1);
    CBasketList loaded;
    loaded.Load(plover_);
    ASSERT_EQ(loaded.GetSize(), 2);
    EXPECT_EQ(loaded.GetAt(0)->dwID, 2);
    EXPECT_EQ(loaded.GetAt(1)->dwID, 1);
}

class CountingSink final : public CBRSink {
public:
    CountingSink() : CBRSink(false) {}
    void OnNotify(uint32_t code, uintptr_t, uintptr_t) override { codes.push_back(code); }
    std::vector<uint32_t> codes;
};

TEST(BasketProperties, RulesInOrderWithTheirMessages) {
    TempDir dir;
    fs::create_directories(dir / "pics/cars/old");
    fs::create_directories(dir / "pics/art");
    fs::create_directories(dir / "pics/artwork");
    fs::create_directories(dir / "other");
    CBasketList list;
    list.Add(NewBasket("Cars", (dir / "pics/cars").string()));
    list.Add(NewBasket("Art", (dir / "pics/art").string()));
    const std::string overlapCars = "Chosen folder overlapps with the folder of the 'Cars' basket.\nPlease choose another folder.";
    struct SCase {
        const char* name;
        std::string folder;
        const CBasket* editing;
        std::string message;
    } cases[] = {
        {"New", (dir / "missing").string(), nullptr, "An invalid folder is specified"},
        {"", (dir / "missing").string(), nullptr, "An invalid folder is specified"},  // folder first
        {"New", (dir / "pics/cars/old").string(), nullptr, overlapCars},              // inside
        {"New", (dir / "pics").string(), nullptr, overlapCars},                       // containing
        {"New", (dir / "PICS/Cars").string(), nullptr, "An invalid folder is specified"},  // case matters on disk
        {"New", (dir / "pics/cars/").string(), nullptr, overlapCars},                 // the same
        {"", (dir / "pics/cars").string(), nullptr, overlapCars},                     // overlap before name
        {"Cars", (dir / "pics/cars").string(), list.GetAt(0), ""},                    // itself is not compared
        {"New", (dir / "pics/artwork").string(), nullptr, ""},  // a name that begins alike is another folder
        {"", (dir / "other").string(), nullptr, "Basket name cannot be empty"},
        {"New", (dir / "other").string(), nullptr, ""},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CheckBasketProperties(list, c.editing, c.name, c.folder), c.message) << c.name << " " << c.folder;

    CountingSink sink;
    CSinkList& sinks = GlobalSinkList();
    ASSERT_TRUE(sinks.Advise(&sink));
    auto* fresh = new CBasket;
    EXPECT_EQ(fresh->csName, "");
    StoreBasketProperties(list, fresh, "Other", (dir / "other").string(), DISPATCH_PER_SERVER, nullptr);
    sinks.Unadvise(&sink);
    EXPECT_EQ(list.GetSize(), 3);
    EXPECT_EQ(fresh->dwID, 3);
    EXPECT_EQ(sink.codes, std::vector<uint32_t>{BRN_BASKET_LIST_CHANGED});
    EXPECT_EQ(CheckFolderDeletable(*list.GetAt(0), (dir / "pics/cars/").string()), "Basket root folder cannot be deleted.");
    EXPECT_EQ(CheckFolderDeletable(*list.GetAt(0), (dir / "pics/cars/old").string()), "");
}

TEST(BasketDefaults, TheSixBasketsAreMadeOnlyWhenNoneExist) {
    TempDir dir;
    std::string parent = (dir / "Plover Baskets").string();
    CBasketList list;
    SDefaultBaskets first = MakeDefaultBaskets(list, parent, "/usr/share/plover");
    EXPECT_TRUE(first.created);
    EXPECT_EQ(first.made, (std::vector<std::string>{"Animals", "Art", "Cars", "Nature", "Erotic", "Space"}));
    ASSERT_EQ(list.GetSize(), 6);
    EXPECT_EQ(list.GetAt(2)->csRootFolder, parent + "/Cars");
    EXPECT_EQ(list.GetAt(2)->icon.csFile, "/usr/share/plover/Cars.ico");
    EXPECT_EQ(list.GetAt(5)->dwID, 6);
    EXPECT_TRUE(fs::is_directory(parent + "/Space"));
    EXPECT_EQ(GetSettings().csDefDownloadFolder, parent);

    SDefaultBaskets second = MakeDefaultBaskets(list, (dir / "elsewhere").string(), "/icons");
    EXPECT_FALSE(second.created);
    EXPECT_EQ(list.GetSize(), 6);
    EXPECT_FALSE(fs::exists(dir / "elsewhere/Cars"));

    // A folder that cannot be made is reported and its basket skipped.
    WriteFile(dir / "blocked", "a file where a folder should be");
    CBasketList fresh;
    std::vector<std::string> shown;
    SetMessageHandler([&](const std::string& text) { shown.push_back(text); });
    SDefaultBaskets blocked = MakeDefaultBaskets(fresh, (dir / "blocked").string(), "/icons", {"Art", "Cars"});
    SetMessageHandler(nullptr);
    EXPECT_TRUE(blocked.made.empty());
    EXPECT_EQ(shown, blocked.messages);
    EXPECT_EQ(blocked.messages.at(0), "Can't create folder\n" + (dir / "blocked/Art").string());
    GetSettings().csDefDownloadFolder.clear();
}

TEST(BasketDefaults, DocumentsFolderByTheXdgRules) {
    TempDir dir;
    fs::create_directories(dir / "config");
    WriteFile(dir / "config/user-dirs.dirs", "# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    std::string home = dir.Str(), config = (dir / "config").string();
    auto env = [&](const char* name) -> const char* {
        std::string n = name;
        if (n == "HOME") return home.c_str();
        if (n == "XDG_CONFIG_HOME") return config.c_str();
        return nullptr;
    };
    EXPECT_EQ(XdgDocumentsFolder(env), home + "/Dokumente");
    config = (dir / "none").string();
    EXPECT_EQ(XdgDocumentsFolder(env), home + "/Documents");
}

TEST(BasketDispatch, FreeNamesPutTheNumberBeforeTheExtension) {
    std::set<std::string> taken = {"/b/p.jpg",  "/b/p (1).jpg", "/b/p.jpg1", "/b/q",
                                   "/b/.hidden", "/b/a.tar.gz",  "/b/s.jpg",  "/b/s.jpg1"};
    auto isTaken = [&](const std::string& p) { return taken.count(p) > 0; };
    struct Case {
        const char* name;
        const char* free;
    } cases[] = {
        {"p.jpg", "/b/p (2).jpg"},         {"q", "/b/q (1)"},
        {"r.png", "/b/r.png"},             {".hidden", "/b/.hidden (1)"},
        {"a.tar.gz", "/b/a.tar (1).gz"},   {"s.jpg", "/b/s (1).jpg"},  // an old "s.jpg1" is no candidate
    };
    for (const auto& c : cases) EXPECT_EQ(FreeTargetPath("/b", c.name, isTaken), c.free) << c.name;
}

class DispatchTest : public ::testing::Test {
protected:
    DispatchTest() {
        fs::create_directories(dir / "basket");
        basket.csName = "Cars";
        basket.csRootFolder = (dir / "basket").string();
        basket.dwID = 5;
        env.db = &db;
        env.downloader = &downloader;
        env.mainWindow = &main;
    }
    std::string Put(const std::string& rel, const std::string& bytes) {
        fs::create_directories((dir / rel).parent_path());
        WriteFile(dir / rel, bytes);
        return (dir / rel).string();
    }

    TempDir dir;
    CDownloadDB db;
    test::FakeDownloader downloader;
    CMessageQueueWindow main;
    CBasket basket;
    SDispatchEnv env;
};

TEST_F(DispatchTest, AKnownFileIsMovedUnderTheFirstFreeNameAndNothingIsDownloaded) {
    std::string known = Put("previews/p.jpg", "the picture");
    Put("basket/p.jpg", "another picture");
    Put("basket/p (1).jpg", "yet another");
    db.Record("http://h/p.jpg", known);

    SDispatchResult r = DispatchItem(basket, {"http://h/p.jpg", "http://h/page.html"}, env);
    EXPECT_EQ(r.result, EDispatch::Moved);
    EXPECT_EQ(r.path, (dir / "basket/p (2).jpg").string());
    EXPECT_EQ(ReadFile(r.path), "the picture");
    EXPECT_FALSE(fs::exists(known));
    EXPECT_EQ(ReadFile(dir / "basket/p.jpg"), "another picture");
    EXPECT_EQ(db.Lookup("http://h/p.jpg"), r.path);
    EXPECT_TRUE(downloader.added.empty());
    EXPECT_GE(main.Pending(), 1u);
    EXPECT_EQ(main.GetMessage(0)->msg, WM_PV_HISTORY_CHANGED);
}

TEST_F(DispatchTest, AKnownFileAlreadyInTheBasketStaysWhereItIs) {
    std::string known = Put("basket/p.jpg", "the picture");
    db.Record("http://h/p.jpg", known);
    SDispatchResult r = DispatchItem(basket, {"http://h/p.jpg", ""}, env);
    EXPECT_EQ(r.result, EDispatch::AlreadyThere);
    EXPECT_EQ(r.path, known);
    EXPECT_EQ(ReadFile(known), "the picture");
    EXPECT_FALSE(fs::exists(known + "1"));
    EXPECT_TRUE(downloader.added.empty());
}

TEST_F(DispatchTest, AKnownFileThatWasDeletedIsDownloadedAgain) {
    std::string known = Put("elsewhere/p.jpg", "x");
    db.Record("http://h/p.jpg", known);
    fs::remove(known);
    SDispatchResult r = DispatchItem(basket, {"http://h/p.jpg", "http://h/page.html"}, env);
    ASSERT_EQ(r.result, EDispatch::Downloading);
    EXPECT_EQ(db.GetCount(), 0u);  // the stale entry is forgotten
    ASSERT_EQ(downloader.added.size(), 1u);
    const SDownloadConfig& c = downloader.added[0];
    EXPECT_EQ(c.URL_original, "http://h/p.jpg");
    EXPECT_EQ(c.URL_remote, "http://h/p.jpg");
    EXPECT_EQ(c.StartMode, START_PAUSED);
    EXPECT_EQ(c.ClientID, 1005);
    EXPECT_EQ(c.SingleSection, 1);
    EXPECT_EQ(c.csPrevServer, "http://h/page.html");
    EXPECT_EQ(c.LocalFolder, basket.csRootFolder);
    EXPECT_EQ(c.Flags, uint32_t(DCF_WHOLE_FILE));
    EXPECT_EQ(c.Prior, 4);
    EXPECT_EQ(c.FileName, "p.jpg");
    // Added paused, then resumed; the basket keeps it.
    EXPECT_EQ(downloader.downloads[0]->status, DS_WAITING);
    EXPECT_EQ(basket.GetDownloadCount(), 1u);

    // The same address again is refused by the downloader: nothing more is kept.
    EXPECT_EQ(DispatchItem(basket, {"http://h/p.jpg", ""}, env).result, EDispatch::Duplicate);
    EXPECT_EQ(basket.GetDownloadCount(), 1u);
}

TEST_F(DispatchTest, ADownloadNeverTakesTheNameOfAFileOnDiskOrInTheQueue) {
    Put("basket/1.jpg", "a picture from another gallery");
    db.Enqueue("http://other/1.jpg", (dir / "basket/1 (1).jpg").string());
    ASSERT_EQ(DispatchItem(basket, {"http://h/a/1.jpg", ""}, env).result, EDispatch::Downloading);
    EXPECT_EQ(downloader.added.at(0).FileName, "1 (2).jpg");
    // FTP addresses are fetched in sections (the whole-file flag is HTTP's).
    ASSERT_EQ(DispatchItem(basket, {"ftp://h/b/2.jpg", ""}, env).result, EDispatch::Downloading);
    EXPECT_EQ(downloader.added.at(1).Flags, 0u);
    EXPECT_EQ(DispatchItem(basket, {"mailto:x@h", ""}, env).result, EDispatch::Failed);
}

TEST_F(DispatchTest, PerServerModeGivesOneSubfolderPerServer) {
    basket.eDispatch = DISPATCH_PER_SERVER;
    ASSERT_EQ(DispatchItem(basket, {"http://one.example/a.jpg", ""}, env).result, EDispatch::Downloading);
    ASSERT_EQ(DispatchItem(basket, {"http://two.example:8080/b.jpg", ""}, env).result, EDispatch::Downloading);
    EXPECT_EQ(downloader.added.at(0).LocalFolder, (dir / "basket/one.example").string());
    EXPECT_EQ(downloader.added.at(1).LocalFolder, (dir / "basket/two.example").string());
    EXPECT_TRUE(fs::is_directory(dir / "basket/one.example"));
    EXPECT_TRUE(fs::is_directory(dir / "basket/two.example"));

    // A subfolder that cannot be made drops the item with the message.
    Put("basket/three.example", "a file in the way");
    SDispatchResult r = DispatchItem(basket, {"http://three.example/c.jpg", ""}, env);
    EXPECT_EQ(r.result, EDispatch::Refused);
    EXPECT_EQ(r.message, "Can't create folder\n" + (dir / "basket/three.example").string());
    basket.eDispatch = 7;  // accepts nothing
    EXPECT_EQ(DispatchItem(basket, {"http://one.example/d.jpg", ""}, env).result, EDispatch::Refused);
    EXPECT_EQ(downloader.added.size(), 2u);
}

}  // namespace
}  // namespace plover
