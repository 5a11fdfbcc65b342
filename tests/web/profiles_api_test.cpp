// The scan profiles' and search sites' commands over real HTTP against `plover ui`: the editing
// rules' refusals, and every change kept over a restart.
#include "web/running_ui.h"

namespace plover::test {
namespace {

using Json = nlohmann::json;

class ProfilesApi : public RunningUi {
protected:
    std::vector<std::string> Names(const std::string& path, const char* list, const char* key) {
        Json answer = Get(path).second;
        std::vector<std::string> out;
        for (const Json& p : answer[list]) out.push_back(p[key]);
        return out;
    }
    std::vector<std::string> Profiles() { return Names("/api/profiles", "profiles", "name"); }
    std::vector<std::string> Sites() { return Names("/api/search-sites", "sites", "format"); }
};

TEST_F(ProfilesApi, ProfilesAreEditedByTheirRulesAndKept) {
    const std::vector<std::string> defaults = {"Scan Single Page", "Scan Thumbnailed Gallery",
                                               "Scan Non-thumbnailed Gallery", "Scan Mixed Gallery"};
    EXPECT_EQ(Profiles(), defaults);
    struct Case {
        std::string path;
        Json body;
        int status;
        std::string error;
    } refused[] = {
        {"/api/profiles", {{"name", ""}}, 422, "Profile name cannot be empty."},
        {"/api/profiles/0", {{"name", ""}}, 422, "Profile name cannot be empty."},
        {"/api/profiles", {{"name", "Deep"}, {"depth", 5000}}, 422, "The depth must be a whole number from 0 to 1000."},
        {"/api/profiles", {{"name", "Odd"}, {"links", "yes"}}, 400, "\"links\" must be true or false."},
        {"/api/profiles/9", {{"name", "Nine"}}, 404, "There is no such profile."},
        {"/api/profiles/reset", Json::object(), 400, "Resetting needs {\"confirm\": true}."},
    };
    for (const Case& c : refused) {
        auto [status, answer] = Post(c.path, c.body);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body.dump();
        EXPECT_EQ(answer["error"], c.error) << c.path << " " << c.body.dump();
    }
    EXPECT_EQ(Profiles(), defaults);  // nothing changed

    auto [added, profile] = Post("/api/profiles", {{"name", "Only recurse"}, {"thumbnails", false},
                                                   {"largePictures", false}, {"recurse", true}, {"depth", 2}});
    ASSERT_EQ(added, 200);
    EXPECT_EQ(profile["index"], 4);
    EXPECT_EQ(profile["scanNote"],
              "You haven't selected what to scan for: thumbnails, links to other pictures or links to other pages.");
    EXPECT_EQ(Post("/api/profiles/0", {{"name", "Single"}, {"description", "one page\nonly"}}).first, 200);
    EXPECT_EQ(Post("/api/profiles/1/delete", Json::object()).first, 200);
    Restart();
    EXPECT_EQ(Profiles(), (std::vector<std::string>{"Single", "Scan Non-thumbnailed Gallery", "Scan Mixed Gallery",
                                                    "Only recurse"}));
    Json kept = Get("/api/profiles").second["profiles"][3];
    EXPECT_EQ(kept["depth"], 2);
    EXPECT_EQ(kept["recurse"], true);
    EXPECT_EQ(kept["thumbnails"], false);
    EXPECT_EQ(Post("/api/profiles/reset", {{"confirm", true}}).first, 200);
    EXPECT_EQ(Profiles(), defaults);
}

TEST_F(ProfilesApi, SearchSitesAreEditedByTheirRulesAndKept) {
    ASSERT_EQ(Sites().size(), 4u);
    for (const Json& body : {Json{{"title", ""}}, Json{{"title", "www.example.com"}, {"format", ""}}}) {
        auto [status, answer] = Post("/api/search-sites", body);
        EXPECT_EQ(status, 422) << body.dump();
        EXPECT_EQ(answer["error"], "Site name and format cannot be empty") << body.dump();
    }
    auto [added, site] = Post("/api/search-sites", {{"title", "www.example.com"}});
    ASSERT_EQ(added, 200);
    EXPECT_EQ(site["format"], "_TEXT_TO_SEARCH_");  // a new site's format unless another is given
    EXPECT_EQ(Post("/api/search-sites/4", {{"format", "http://127.0.0.1:1/find?q=_TEXT_TO_SEARCH_"}}).first, 200);
    EXPECT_EQ(Post("/api/search-sites/0/delete", Json::object()).first, 200);
    EXPECT_EQ(Post("/api/search-sites/9/delete", Json::object()).first, 404);
    Restart();
    std::vector<std::string> sites = Sites();
    ASSERT_EQ(sites.size(), 4u);
    EXPECT_EQ(sites.back(), "http://127.0.0.1:1/find?q=_TEXT_TO_SEARCH_");
    EXPECT_EQ(Post("/api/search-sites/reset", {{"confirm", true}}).first, 200);
    EXPECT_EQ(Sites().size(), 4u);
    EXPECT_NE(Sites().back(), "http://127.0.0.1:1/find?q=_TEXT_TO_SEARCH_");
}

}  // namespace
}  // namespace plover::test

namespace plover::test {
namespace {

class SystemInfoApi : public RunningUi {};

TEST_F(SystemInfoApi, ReportTellsTheHomeTheLibrariesAndTheEngines) {
    auto [status, report] = Get("/api/sysinfo");
    ASSERT_EQ(status, 200);
    std::map<std::string, std::map<std::string, std::string>> sections;
    for (const nlohmann::json& s : report["sections"])
        for (const nlohmann::json& row : s["rows"]) sections[s["title"]][row[0]] = row[1];
    EXPECT_EQ(sections["Home"]["Settings folder"], home_.Str());
    EXPECT_NE(sections["Home"]["Free space there"], "unknown");
    EXPECT_EQ(sections["Home"]["Download history"].rfind("0 files", 0), 0u) << sections["Home"]["Download history"];
    EXPECT_EQ(sections["Libraries"]["TLS (OpenSSL)"].rfind("OpenSSL 3", 0), 0u);
    EXPECT_FALSE(sections["Libraries"]["AVIF (libavif)"].empty());
    EXPECT_FALSE(sections["Libraries"]["WebP (libwebp)"].empty());
    for (const char* engine : {"Socket engine", "Downloader", "Page manager", "Scanner engine", "Basket engine",
                               "File relocator", "Dial-up engine"})
        EXPECT_EQ(sections["Engines"][engine], "running") << engine;
    std::string text = report["text"];
    EXPECT_NE(text.find("  Settings folder: " + home_.Str() + "\n"), std::string::npos);
}

}  // namespace
}  // namespace plover::test
