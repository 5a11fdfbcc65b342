#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "app/reg_key.h"
#include "app/reg_store.h"
#include "app/reg_text.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

void Put(CRegStore& store, const char* name, uint32_t v) {
    CBRRegKey k;
    k.OpenForWrite(store.Root(), kPloverKey);
    k.WriteDWord(name, v);
}

uint32_t Get(CRegStore& store, const char* name) {
    CBRRegKey k;
    uint32_t v = 0xDEAD;
    if (k.OpenForRead(store.Root(), kPloverKey)) k.ReadDWord(name, v);
    return v;
}

TEST(RegStore, MissingFileThenSaveAndReload) {
    test::TempDir dir;
    std::filesystem::path file = dir / "settings.txt";
    CRegStore store;
    EXPECT_EQ(store.Load(file).status, CRegStore::ELoadStatus::Missing);
    Put(store, "eTrafficMode", 2);
    std::string error;
    ASSERT_TRUE(store.Save(&error)) << error;
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::others_read,
              std::filesystem::perms::none);  // it may hold passwords
    EXPECT_NE(test::ReadFile(file).find("[Software\\Bramble\\Plover]\n\"eTrafficMode\" = number 2"),
              std::string::npos);

    CRegStore again;
    EXPECT_EQ(again.Load(file).status, CRegStore::ELoadStatus::Loaded);
    EXPECT_EQ(Get(again, "eTrafficMode"), 2u);
}

TEST(RegStore, AnUnchangedTreeIsNotWrittenAgain) {
    test::TempDir dir;
    std::filesystem::path file = dir / "settings.txt";
    CRegStore store;
    store.Load(file);
    Put(store, "eTrafficMode", 2);
    ASSERT_TRUE(store.Save());
    auto inode = [&] {
        struct stat st {};
        return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
    };
    // An atomic save makes a new file: the same inode means nothing was written.
    auto first = inode();
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(inode(), first);

    CRegStore reloaded;  // as loaded: the same
    reloaded.Load(file);
    ASSERT_TRUE(reloaded.Save());
    EXPECT_EQ(inode(), first);

    Put(reloaded, "eTrafficMode", 3);  // changed: written
    ASSERT_TRUE(reloaded.Save());
    EXPECT_NE(inode(), first);
    std::filesystem::remove(file);  // gone meanwhile: written again
    ASSERT_TRUE(reloaded.Save());
    EXPECT_EQ(Get(reloaded, "eTrafficMode"), 3u);
    CRegStore check;
    EXPECT_EQ(check.Load(file).status, CRegStore::ELoadStatus::Loaded);
    EXPECT_EQ(Get(check, "eTrafficMode"), 3u);
}

TEST(RegStore, DamagedFileIsKeptAsideAndNeverOverwritten) {
    test::TempDir dir;
    std::filesystem::path file = dir / "settings.txt";
    const std::string damaged = "[Software\\Bramble\\Plover]\n\"eTrafficMode\" = number two\n";
    test::WriteFile(file, damaged);
    CRegStore store;
    auto result = store.Load(file);
    ASSERT_EQ(result.status, CRegStore::ELoadStatus::Damaged);
    EXPECT_NE(result.reason.find("line 2"), std::string::npos) << result.reason;
    ASSERT_FALSE(result.keptAs.empty());
    EXPECT_EQ(test::ReadFile(result.keptAs), damaged);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(Get(store, "eTrafficMode"), 0xDEADu);  // started from nothing

    Put(store, "eTrafficMode", 1);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(test::ReadFile(result.keptAs), damaged);
    // A second damaged file gets a name of its own.
    test::WriteFile(file, damaged);
    auto second = CRegStore().Load(file);
    EXPECT_NE(second.keptAs, result.keptAs);
    EXPECT_TRUE(std::filesystem::exists(result.keptAs));
}

TEST(RegStore, UnreadableFileIsNotWrittenOver) {
    test::TempDir dir;
    std::filesystem::path file = dir / "settings.txt";
    std::filesystem::create_directory(file);  // exists, but cannot be read as a file
    CRegStore store;
    EXPECT_EQ(store.Load(file).status, CRegStore::ELoadStatus::Unreadable);
    std::string error;
    EXPECT_FALSE(store.Save(&error));
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

TEST(RegStore, LeftoverTemporaryFilesAreRemovedOnLoad) {
    test::TempDir dir;
    test::WriteFile(dir / "settings.txt.tmp-abc123", "half a store");
    test::WriteFile(dir / "other.txt", "x");
    CRegStore().Load(dir / "settings.txt");
    EXPECT_FALSE(std::filesystem::exists(dir / "settings.txt.tmp-abc123"));
    EXPECT_TRUE(std::filesystem::exists(dir / "other.txt"));
}

// A process killed with SIGKILL at any moment of a save leaves the old store or the new one.
TEST(RegStore, KillDuringSaveNeverLeavesAnUnreadableStore) {
    test::TempDir dir;
    std::filesystem::path file = dir / "settings.txt";
    {
        CRegStore store;
        store.Load(file);
        Put(store, "generation", 0);
        ASSERT_TRUE(store.Save());
    }
    std::mt19937 random(12345);
    for (int round = 0; round < 8; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A store large enough that a save takes a while, saved over and over.
            CRegStore store;
            store.Load(file);
            CBRRegKey k;
            k.OpenForWrite(store.Root(), "Software\\Bramble\\Plover\\Big");
            for (int i = 0; i < 5000; ++i) k.WriteString(("v" + std::to_string(i)).c_str(), std::string(64, 'x'));
            for (uint32_t g = 1;; ++g) {
                Put(store, "generation", g);
                store.Save();
            }
        }
        usleep(useconds_t(2000 + random() % 30000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        CRegStore check;
        auto result = check.Load(file);
        ASSERT_EQ(result.status, CRegStore::ELoadStatus::Loaded) << "round " << round << ": " << result.reason;
        EXPECT_NE(Get(check, "generation"), 0xDEADu);
    }
}

}  // namespace
}  // namespace plover
