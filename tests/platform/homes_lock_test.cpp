#include <gtest/gtest.h>

#include <map>

#include "platform/homes.h"
#include "platform/instance_lock.h"
#include "platform/kept_aside.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

TEST(Homes, Resolution) {
    struct SCase {
        const char* option;
        std::map<std::string, std::string> env;
        const char* settings;
        const char* data;
        const char* cache;
    } cases[] = {
        {"/h", {{"PLOVER_HOME", "/p"}, {"HOME", "/u"}}, "/h", "/h", "/h/cache"},
        {"", {{"PLOVER_HOME", "/p"}, {"HOME", "/u"}, {"XDG_CACHE_HOME", "/x"}}, "/p", "/p", "/p/cache"},
        {"", {{"HOME", "/u"}}, "/u/.config/plover", "/u/.local/share/plover", "/u/.cache/plover"},
        {"", {{"HOME", "/u"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/d"}, {"XDG_CACHE_HOME", "/x"}},
         "/c/plover", "/d/plover", "/x/plover"},
        {"", {{"HOME", "/u"}, {"XDG_CONFIG_HOME", "rel"}, {"PLOVER_HOME", ""}}, "/u/.config/plover",
         "/u/.local/share/plover", "/u/.cache/plover"},
        {"", {}, "", "", ""},
    };
    for (const auto& c : cases) {
        SHomes h = ResolveHomes(c.option, [&](const char* name) -> const char* {
            auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(h.settingsDir.string(), c.settings);
        EXPECT_EQ(h.dataDir.string(), c.data);
        EXPECT_EQ(h.cacheDir.string(), c.cache);
    }
    std::string error;
    EXPECT_FALSE(CreateHomes({}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(KeptAside, EveryDamagedFileKeepsItsOwnCopy) {
    test::TempDir dir;
    std::vector<std::filesystem::path> kept;
    for (const char* bytes : {"first", "second", "third"}) {
        test::WriteFile(dir / "Default.fll", bytes);
        std::string error;
        kept.push_back(KeepDamagedFileAside(dir / "Default.fll", &error));
        ASSERT_FALSE(kept.back().empty()) << error;
        EXPECT_FALSE(std::filesystem::exists(dir / "Default.fll"));
        EXPECT_EQ(test::ReadFile(kept.back()), bytes);
        EXPECT_EQ(kept.back().filename().string().rfind("Default.fll.damaged-", 0), 0u) << kept.back();
    }
    EXPECT_NE(kept[0], kept[1]);
    EXPECT_NE(kept[1], kept[2]);
    EXPECT_EQ(test::ReadFile(kept[0]), "first") << "never replaced by a later one";
    EXPECT_EQ(KeptAsideName("/d/f", 0, 1).string().size() + 2, KeptAsideName("/d/f", 0, 2).string().size());
    std::string error;
    EXPECT_TRUE(KeepDamagedFileAside(dir / "missing", &error).empty());
    EXPECT_FALSE(error.empty());
}

TEST(InstanceLock, OneHolderAtATime) {
    test::TempDir dir;
    auto file = dir / kInstanceLockName;
    CInstanceLock first, second;
    EXPECT_EQ(first.Acquire(file), CInstanceLock::EResult::Acquired);
    EXPECT_EQ(second.Acquire(file), CInstanceLock::EResult::HeldElsewhere);
    EXPECT_FALSE(second.IsHeld());
    first.Release();
    EXPECT_EQ(second.Acquire(file), CInstanceLock::EResult::Acquired);
    std::string error;
    EXPECT_EQ(CInstanceLock().Acquire(dir / "no" / "such" / "dir" / "lock", &error), CInstanceLock::EResult::Failed);
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace plover
