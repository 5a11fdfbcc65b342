// Scan profiles: the four defaults of a first start, storage under "ScanProfiles" with positions
// renumbered on every save, and the editing rules with their messages.
#include "scan/scan_profile.h"

#include <gtest/gtest.h>

#include "app/reg_key.h"
#include "app/reg_node.h"

namespace plover {
namespace {

class ScanProfileTest : public ::testing::Test {
protected:
    ScanProfileTest() { EXPECT_TRUE(plover_.OpenForWrite(root_, kPloverKey)); }

    std::vector<std::string> SubkeyNames() {
        CBRRegKey key;
        std::vector<std::string> names;
        if (!key.OpenForRead(plover_, kScanProfilesKey)) return names;
        std::string n;
        for (uint32_t i = 0; key.EnumKey(i, n); ++i) names.push_back(n);
        return names;
    }
    std::string StoredName(const std::string& subkey) {
        CBRRegKey key;
        std::string name;
        EXPECT_TRUE(key.OpenForRead(plover_, (std::string(kScanProfilesKey) + "\\" + subkey).c_str()));
        key.ReadString("csName", name);
        return name;
    }

    HKEY root_ = std::make_shared<CRegNode>("");
    CBRRegKey plover_;
};

TEST_F(ScanProfileTest, FirstStartGivesTheFourDefaultsInOrder) {
    CScanProfileList list;
    list.Load(plover_);
    ASSERT_EQ(list.GetSize(), 4);
    const char* names[] = {"Scan Single Page", "Scan Thumbnailed Gallery", "Scan Non-thumbnailed Gallery",
                           "Scan Mixed Gallery"};
    //                         thumbnails, large pictures, links, recurse, one from each
    const int32_t flags[4][5] = {{1, 1, 1, 0, 0}, {1, 0, 0, 1, 1}, {0, 1, 0, 1, 1}, {1, 1, 0, 1, 1}};
    for (int i = 0; i < 4; ++i) {
        const SScanProfile& p = *list.GetAt(i);
        EXPECT_EQ(p.csName, names[i]);
        EXPECT_EQ(p.bThumbnails, flags[i][0]) << i;
        EXPECT_EQ(p.bLargePictures, flags[i][1]) << i;
        EXPECT_EQ(p.bLinks, flags[i][2]) << i;
        EXPECT_EQ(p.bRecurse, flags[i][3]) << i;
        EXPECT_EQ(p.bOneThumbnailFromEach, flags[i][4]) << i;
        EXPECT_EQ(p.bOnlyThisSite, 0);
        EXPECT_EQ(p.iDepth, 5);
    }
    EXPECT_EQ(list.GetAt(0)->csDescription,
              "Scan only one page. Extract all the thumbnails, large picture links and links to other pages.");
    EXPECT_EQ(list.GetAt(3)->csDescription,
              "Scan a gallery recursively starting from the root URL. Extract both thumbnails and the links to "
              "non-thumbnailed pictures.");
    // The program's own list has them before any load (a first start has no stored settings).
    EXPECT_EQ(GetScanProfiles().GetSize(), 4);
}

TEST_F(ScanProfileTest, DeletingTheSecondOfFourRenumbersTheRest) {
    CScanProfileList list;
    list.CreateDefaults();
    list.Save(plover_);
    EXPECT_EQ(SubkeyNames(), (std::vector<std::string>{"0", "1", "2", "3"}));

    ASSERT_TRUE(list.Remove(list.GetAt(1)));
    list.Save(plover_);
    EXPECT_EQ(SubkeyNames(), (std::vector<std::string>{"0", "1", "2"}));
    EXPECT_EQ(StoredName("0"), "Scan Single Page");
    EXPECT_EQ(StoredName("1"), "Scan Non-thumbnailed Gallery");
    EXPECT_EQ(StoredName("2"), "Scan Mixed Gallery");

    CScanProfileList loaded;
    loaded.Load(plover_);
    ASSERT_EQ(loaded.GetSize(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(SameProfileFields(*loaded.GetAt(i), *list.GetAt(i))) << i;
}

TEST_F(ScanProfileTest, EveryFieldIsStoredAndTheOrderSurvivesMoreThanTenProfiles) {
    CScanProfileList list;
    for (int i = 0; i < 12; ++i) {
        SScanProfile p;
        p.csName = "P" + std::to_string(i);
        p.csDescription = "d" + std::to_string(i);
        p.bThumbnails = i % 2;
        p.bLargePictures = i % 3 == 0;
        p.bLinks = 1;
        p.bRecurse = i % 2 == 0;
        p.bOneThumbnailFromEach = 1;
        p.bOnlyThisSite = i % 4 == 0;
        p.iDepth = -i;
        p.bResponsivePictures = i % 5 != 0;
        list.AddCopy(p);
    }
    list.Save(plover_);
    // The store may hand the subkeys over in any order ("10" before "2" in a sorted one).
    // Here "1" is written again last, so that it comes last.
    CBRRegKey::DeleteTree(plover_, "ScanProfiles\\1");
    CBRRegKey profiles;
    ASSERT_TRUE(profiles.OpenForWrite(plover_, kScanProfilesKey));
    list.GetAt(1)->Serialize(profiles, false, 1);
    ASSERT_EQ(SubkeyNames().back(), "1");
    CScanProfileList loaded;
    loaded.Load(plover_);
    ASSERT_EQ(loaded.GetSize(), 12);
    for (int i = 0; i < 12; ++i) EXPECT_TRUE(SameProfileFields(*loaded.GetAt(i), *list.GetAt(i))) << i;
}

TEST_F(ScanProfileTest, AProfileStoredBeforeResponsivePicturesLoadsWithThemOn) {
    CBRRegKey old;
    ASSERT_TRUE(old.OpenForWrite(plover_, "ScanProfiles\\0"));
    old.WriteString("csName", "Old");
    old.WriteDWord("bThumbnails", 1);
    CScanProfileList list;
    list.Load(plover_);
    ASSERT_EQ(list.GetSize(), 1);
    EXPECT_EQ(list.GetAt(0)->csName, "Old");
    EXPECT_EQ(list.GetAt(0)->bResponsivePictures, 1);
}

TEST_F(ScanProfileTest, DeletingEveryProfileBringsTheDefaultsBackAtTheNextStart) {
    CScanProfileList list;
    list.CreateDefaults();
    while (list.GetSize()) list.Remove(list.GetAt(0));
    list.Save(plover_);
    CScanProfileList next;
    next.Load(plover_);
    EXPECT_EQ(next.GetSize(), 4);
}

TEST_F(ScanProfileTest, AddCopyFindAndRemove) {
    CScanProfileList list;
    list.CreateDefaults();
    int at = list.AddCopy(*list.GetAt(2));
    EXPECT_EQ(at, 4);
    EXPECT_TRUE(SameProfileFields(*list.GetAt(4), *list.GetAt(2)));
    EXPECT_NE(list.GetAt(4), list.GetAt(2));
    EXPECT_EQ(list.Find(list.GetAt(4)), 4);
    SScanProfile stranger;
    EXPECT_EQ(list.Find(&stranger), -1);
    EXPECT_FALSE(list.Remove(&stranger));
    EXPECT_EQ(list.GetSize(), 5);

    // The command line names a profile by position or by name.
    list.GetAt(4)->csName = "7";
    struct SCase {
        const char* text;
        int expected;
    } cases[] = {{"0", 0}, {"3", 3}, {"5", -1}, {"scan mixed gallery", 3}, {"Scan Mixed Gallery", 3},
                 {"7", 4}, {"", -1}, {"99999999999999", -1}, {"Scan", -1}};
    for (const auto& c : cases) EXPECT_EQ(list.FindByNameOrNumber(c.text), c.expected) << c.text;
}

TEST(ScanProfileRules, EditingRulesAndTheirMessages) {
    SScanProfile p;
    EXPECT_EQ(p.csName, "New Profile");
    EXPECT_EQ(p.bThumbnails, 1);
    EXPECT_EQ(p.bLargePictures, 1);
    EXPECT_EQ(p.bLinks, 0);
    EXPECT_EQ(p.iDepth, 5);

    std::string error;
    EXPECT_FALSE(SetProfileNameAndDescription(p, "", "kept?", &error));
    EXPECT_EQ(error, "Profile name cannot be empty.");
    EXPECT_EQ(p.csName, "New Profile");
    EXPECT_EQ(p.csDescription, "");
    EXPECT_TRUE(SetProfileNameAndDescription(p, "Mine", "About it", &error));
    EXPECT_EQ(p.csName, "Mine");
    EXPECT_EQ(p.csDescription, "About it");
    EXPECT_EQ(DeleteProfileQuestion(p), "Do you want to delete the 'Mine' profile?");

    struct SCase {
        int32_t thumbnails, large, links, recurse;
        bool canScan;
    } cases[] = {{1, 0, 0, 0, true}, {0, 1, 0, 0, true}, {0, 0, 1, 0, true}, {0, 0, 0, 1, false}, {0, 0, 0, 0, false}};
    for (const auto& c : cases) {
        p.bThumbnails = c.thumbnails;
        p.bLargePictures = c.large;
        p.bLinks = c.links;
        p.bRecurse = c.recurse;
        EXPECT_EQ(CheckProfileCanScan(p).empty(), c.canScan);
        if (!c.canScan) {
            EXPECT_EQ(CheckProfileCanScan(p),
                      "You haven't selected what to scan for: thumbnails, links to other pictures or links to other "
                      "pages.");
        }
    }
}

}  // namespace
}  // namespace plover
