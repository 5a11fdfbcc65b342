#include <gtest/gtest.h>

#include <map>

#include "platform/homes.h"
#include "platform/instance_lock.h"
#include "testutil/temp_dir.h"

namespace plover {
namespace {

TEST(Homes, Resolution) {
    struct SCase {
        const char* option;
        std::map<std::string, std::string> env;
        const char* settings;
        const char* data;
    } cases[] = {
        {"/h", {{"PLOVER_HOME", "/p"}, {"HOME", "/u"}}, "/h", "/h"},
        {"", {{"PLOVER_HOME", "/p"}, {"HOME", "/u"}}, "/p", "/p"},
        {"", {{"HOME", "/u"}}, "/u/.config/plover", "/u/.local/share/plover"},
        {"", {{"HOME", "/u"}, {"XDG_CONFIG_HOME", "/c"}, {"XDG_DATA_HOME", "/d"}}, "/c/plover", "/d/plover"},
        {"", {{"HOME", "/u"}, {"XDG_CONFIG_HOME", "rel"}, {"PLOVER_HOME", ""}}, "/u/.config/plover",
         "/u/.local/share/plover"},
        {"", {}, "", ""},
    };
    for (const auto& c : cases) {
        SHomes h = ResolveHomes(c.option, [&](const char* name) -> const char* {
            auto it = c.env.find(name);
            return it == c.env.end() ? nullptr : it->second.c_str();
        });
        EXPECT_EQ(h.settingsDir.string(), c.settings);
        EXPECT_EQ(h.dataDir.string(), c.data);
    }
    std::string error;
    EXPECT_FALSE(CreateHomes({}, &error));
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
