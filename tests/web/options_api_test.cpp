// The Options window's commands over real HTTP: each setting with its control, refusals with the
// page's reason and nothing stored, and what was stored kept over a restart.
#include "web/running_ui.h"

namespace plover::test {
namespace {

using Json = nlohmann::json;

Json FindSetting(const Json& options, const std::string& name, std::string* page = nullptr) {
    for (const Json& g : options["groups"])
        for (const Json& s : g["settings"])
            if (s["name"] == name) {
                if (page) *page = g["name"];
                return s;
            }
    return nullptr;
}

class OptionsApi : public RunningUi {};

TEST_F(OptionsApi, SettingsComeWithTheirPageAndControl) {
    auto [status, options] = Get("/api/settings");
    ASSERT_EQ(status, 200);
    std::string page;
    Json cache = FindSetting(options, "iMaxCacheSpace", &page);
    EXPECT_EQ(page, "Page cache");
    EXPECT_EQ(cache["control"], "number");
    EXPECT_EQ(cache["min"], 20);
    EXPECT_EQ(cache["max"], 2000);
    Json mode = FindSetting(options, "eCacheMode", &page);
    EXPECT_EQ(mode["control"], "choice");
    EXPECT_EQ(mode["choices"], Json({"Every visit to the page", "Automatically", "Never"}));
    Json colour = FindSetting(options, "colorProgressBkgnd");
    EXPECT_EQ(colour["colour"], "#a3a3a3");
    FindSetting(options, "TrafficMode2/dwTransferQuota", &page);
    EXPECT_EQ(page, "Traffic modes");
}

TEST_F(OptionsApi, RefusalsSayWhyAndStoreNothing) {
    struct Case {
        std::string name, value, refusal;
    } cases[] = {
        {"iMaxCacheSpace", "10", "Maximal cache disk space: a whole number from 20 to 2000."},
        {"eCacheMode", "7", "Choose one of the listed values for Check for newer versions of stored pages."},
        {"csDefDownloadFolder", home_.Str() + "/none", "The folder does not exist: " + home_.Str() + "/none"},
        {"csCacheFolder", home_.Str(), "The cache folder moves with its files: plover cache move FOLDER."},
        {"TrafficMode1/dwMaxSectPerDownload", "0", "Full speed: sections per download: a whole number from 1 to 20."},
    };
    for (const Case& c : cases) {
        auto [before, options] = Get("/api/settings");
        std::string was = FindSetting(options, c.name)["value"];
        auto [status, answer] = Post("/api/settings", {{"name", c.name}, {"value", c.value}});
        EXPECT_EQ(status, 422) << c.name;
        EXPECT_EQ(answer["error"], c.refusal) << c.name;
        EXPECT_EQ(FindSetting(Get("/api/settings").second, c.name)["value"], was) << c.name;
    }
    EXPECT_EQ(Post("/api/settings", {{"name", "noSuchValue"}, {"value", "1"}}).first, 404);
}

TEST_F(OptionsApi, StoredValuesAreKeptOverARestart) {
    std::filesystem::create_directories(home_ / "Pictures");
    const std::pair<std::string, std::string> sets[] = {
        {"iMaxCacheSpace", "120"},
        {"eCacheMode", "2"},
        {"bOverwriteAlways", "1"},
        {"csDefDownloadFolder", (home_ / "Pictures").string()},
        {"colorActiveSections", "#0080ff"},
        {"sizeThumbMaxSize", "160 120"},
        {"TrafficMode2/dwTransferQuota", "20480"},
    };
    for (const auto& [name, value] : sets) {
        auto [status, answer] = Post("/api/settings", {{"name", name}, {"value", value}});
        EXPECT_EQ(status, 200) << name << ": " << answer.dump();
    }
    Restart();
    Json options = Get("/api/settings").second;
    EXPECT_EQ(FindSetting(options, "iMaxCacheSpace")["value"], "120");
    EXPECT_EQ(FindSetting(options, "eCacheMode")["value"], "2");
    EXPECT_EQ(FindSetting(options, "bOverwriteAlways")["value"], "1");
    EXPECT_EQ(FindSetting(options, "csDefDownloadFolder")["value"], (home_ / "Pictures").string());
    EXPECT_EQ(FindSetting(options, "colorActiveSections")["value"], "0x00FF8000");
    EXPECT_EQ(FindSetting(options, "sizeThumbMaxSize")["value"], "160 120");
    EXPECT_EQ(FindSetting(options, "TrafficMode2/dwTransferQuota")["value"], "20480");
}

}  // namespace
}  // namespace plover::test
