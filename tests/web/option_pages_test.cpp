// The option pages: every stored setting has its place and its control, and the rules refuse
// what the store must not take.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "app/settings.h"
#include "app/settings_catalog.h"
#include "testutil/temp_dir.h"
#include "web/option_pages.h"

namespace plover::web {
namespace {

TEST(OptionPages, EveryStoredSettingIsOnANamedPage) {
    test::TempDir dir;
    CRegistrySettings settings;
    ApplyPostLoadFixes(settings, dir.Path());  // the sizes get their defaults, as at every start
    for (const SSettingInfo& info : ListSettings(settings)) {
        const SOptionRow* row = FindOptionRow(info.name);
        ASSERT_NE(row, nullptr) << info.name;
        EXPECT_NE(std::find(OptionPages().begin(), OptionPages().end(), row->page), OptionPages().end()) << info.name;
        // Its current value passes its own rule, unless it cannot be changed at all.
        if (row->control != EOptionControl::Shown && row->control != EOptionControl::Folder &&
            row->control != EOptionControl::File) {
            EXPECT_EQ(CheckOptionValue(*row, FormatSetting(info)), "") << info.name;
        }
    }
}

TEST(OptionPages, ValuesOutsideTheirRuleAreRefused) {
    test::TempDir dir;
    std::ofstream(dir / "sound.wav") << "RIFF";
    struct Case {
        const char* name;
        std::string value;
        std::string refusal;  // "" when accepted
    } cases[] = {
        {"iMaxCacheSpace", "20", ""},
        {"iMaxCacheSpace", "2000", ""},
        {"iMaxCacheSpace", "19", "Maximal cache disk space: a whole number from 20 to 2000."},
        {"iMaxCacheSpace", "2001", "Maximal cache disk space: a whole number from 20 to 2000."},
        {"iMaxCacheSpace", "fifty", "Maximal cache disk space: a whole number from 20 to 2000."},
        {"TrafficMode2/dwMaxSectPerDownload", "0", "Medium speed: sections per download: a whole number from 1 to 20."},
        {"TrafficMode1/dwTransferQuota", "0xFFFFFFFF", ""},
        {"eCacheMode", "2", ""},
        {"eCacheMode", "3", "Choose one of the listed values for Check for newer versions of stored pages."},
        {"bOverwriteAlways", "1", ""},
        {"bOverwriteAlways", "yes", "Overwrite existing files without asking: 1 for yes or 0 for no."},
        {"csDefDownloadFolder", dir.Str(), ""},
        {"csDefDownloadFolder", "", ""},
        {"csDefDownloadFolder", dir.Str() + "/missing", "The folder does not exist: " + dir.Str() + "/missing"},
        {"csDefDownloadFolder", "relative/folder", "Default download folder must be an absolute path (starting with /)."},
        {"Sound #2/csWavFile", dir.Str() + "/sound.wav", ""},
        {"Sound #2/csWavFile", dir.Str(), "The file does not exist: " + dir.Str()},
        {"sizeThumbMaxSize", "120 90", ""},
        {"sizeThumbMaxSize", "0 90", "Largest thumbnail: whole numbers from 1 to 10000."},
        {"csActiveDialUp", "two\nlines", "Dial-up entry must be one line."},
        {"csActiveDialUp", std::string(1000, 'x'), "Dial-up entry is too long (at most 999 bytes)."},
        {"csCacheFolder", dir.Str(), "The cache folder moves with its files: plover cache move FOLDER."},
        {"colorActiveSections", "0x00FF8000", ""},
        {"colorActiveSections", "0x01000000", "Active sections must be a colour."},
    };
    for (const Case& c : cases) {
        const SOptionRow* row = FindOptionRow(c.name);
        ASSERT_NE(row, nullptr) << c.name;
        EXPECT_EQ(CheckOptionValue(*row, c.value), c.refusal) << c.name << " = " << c.value;
    }
}

TEST(OptionPages, ColoursAreStoredBlueFirst) {
    EXPECT_EQ(ColourToHtml("0x00FF8000"), "#0080ff");
    EXPECT_EQ(ColourFromHtml("#0080ff"), "0x00FF8000");
    EXPECT_EQ(ColourFromHtml("#A3a3A3"), "0x00A3A3A3");
    EXPECT_EQ(ColourFromHtml("0080ff"), std::nullopt);
    EXPECT_EQ(ColourFromHtml("#0080fg"), std::nullopt);
}

}  // namespace
}  // namespace plover::web
