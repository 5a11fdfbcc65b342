// A run's overrides of the scan profile: each changes only its own field, and a depth turns
// recursion on or off.
#include "scan/profile_overrides.h"

#include <gtest/gtest.h>

#include "scanner_fixture.h"

namespace plover {
namespace {

using test::Profile;

TEST(ProfileOverrides, EachChangesItsOwnField) {
    SScanProfile gallery = Profile(true, false, false, true, true, true, 5);
    SScanProfile single = Profile(true, true, true, false);
    auto with = [](auto set) {
        SProfileOverrides o;
        set(o);
        return o;
    };
    struct SCase {
        const char* name;
        SScanProfile from;
        SProfileOverrides overrides;
        SScanProfile want;
    } cases[] = {
        {"none", gallery, {}, gallery},
        {"depth recurses", single, with([](auto& o) { o.depth = 3; }), Profile(true, true, true, true, false, false, 3)},
        {"depth 0: the start page alone", gallery, with([](auto& o) { o.depth = 0; }), Profile(true, false, false, false, true, true, 5)},
        {"all thumbnails", gallery, with([](auto& o) { o.allThumbnails = true; }), Profile(true, false, false, true, false, true, 5)},
        {"any site", gallery, with([](auto& o) { o.anySite = true; }), Profile(true, false, false, true, true, false, 5)},
        {"large pictures yes", gallery, with([](auto& o) { o.largePictures = true; }), Profile(true, true, false, true, true, true, 5)},
        {"thumbnails no", gallery, with([](auto& o) { o.thumbnails = false; }), Profile(false, false, false, true, true, true, 5)},
    };
    for (auto& c : cases) {
        SScanProfile got = WithOverrides(c.from, c.overrides);
        EXPECT_TRUE(SameProfileFields(got, c.want)) << c.name;
        EXPECT_EQ(got.iDepth, c.want.iDepth) << c.name;
        EXPECT_EQ(c.overrides.Empty(), std::string(c.name) == "none") << c.name;
    }
}

}  // namespace
}  // namespace plover
