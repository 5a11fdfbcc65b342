// The page cache's, the site logins' and the proxies' pages over real HTTP against `plover ui`:
// clearing only after the question, moving the files into a folder that stays the cache folder,
// site logins edited by their rules and kept over a restart, the proxy page's refusals and its
// check against a port that answers and one that does not.
#include <fstream>

#include "scan/cache_index.h"
#include "web/running_ui.h"

namespace plover::test {
namespace {

using Json = nlohmann::json;
namespace fs = std::filesystem;

constexpr int kFiles = 3;

std::vector<std::string> CachedFiles(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        if (e.path().extension() == ".tmp") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A home whose page cache holds three pages of 1000, 2000 and 3000 bytes.
class CacheApi : public RunningUi {
protected:
    void BeforeStart() override {
        fs::path cache = home_ / "cache";
        fs::create_directories(cache);
        CCacheIndex index;
        for (int i = 0; i < kFiles; ++i) {
            std::string name = "srch" + std::to_string(i + 1) + ".tmp", url = "http://127.0.0.1:1/p" + std::to_string(i);
            std::ofstream(cache / name) << std::string(size_t(1000 * (i + 1)), 'x');
            index.Add(url, url, name, "", uint32_t(1000 * (i + 1)));
        }
        std::ofstream(cache / kCacheIndexName, std::ios::binary) << index.Serialize();
    }
};

TEST_F(CacheApi, ClearingAsksFirstThenDeletesEveryCachedFile) {
    auto [status, state] = Get("/api/cache");
    ASSERT_EQ(status, 200) << state.dump();
    EXPECT_EQ(state["count"], kFiles);
    EXPECT_EQ(state["size"], 6000);
    EXPECT_EQ(state["folder"], (home_ / "cache").string());
    EXPECT_EQ(state["clearQuestion"],
              "Are you sure you want to clear the cache? All the temporary\nfiles will be deleted and when you visit "
              "pages you have already visited,\nPlover will have to reload them.\nDo you want to continue?");
    // Without the answer to the question nothing goes.
    EXPECT_EQ(Post("/api/cache/clear", Json::object()).first, 400);
    EXPECT_EQ(CachedFiles(home_ / "cache").size(), size_t(kFiles));

    auto [cleared, answer] = Post("/api/cache/clear", {{"confirm", true}});
    EXPECT_EQ(cleared, 200);
    EXPECT_EQ(answer["count"], kFiles);
    EXPECT_EQ(answer["size"], 6000);
    state = Get("/api/cache").second;
    EXPECT_EQ(state["count"], 0);
    EXPECT_EQ(state["size"], 0);
    EXPECT_TRUE(CachedFiles(home_ / "cache").empty());
}

TEST_F(CacheApi, MovedFilesStayInTheNewFolderOverARestart) {
    EXPECT_EQ(Post("/api/cache/move", {{"folder", "relative/cache"}}).first, 422);
    EXPECT_EQ(Post("/api/cache/move", {{"folder", 7}}).first, 400);
    fs::path target = home_ / "moved" / "cache";  // made by the move
    auto [status, answer] = Post("/api/cache/move", {{"folder", target.string() + "/"}});
    ASSERT_EQ(status, 200) << answer.dump();
    EXPECT_EQ(answer["folder"], target.string());
    EXPECT_EQ(answer["count"], kFiles);
    EXPECT_EQ(CachedFiles(target), (std::vector<std::string>{"srch1.tmp", "srch2.tmp", "srch3.tmp"}));
    EXPECT_TRUE(CachedFiles(home_ / "cache").empty());

    Restart();
    Json state = Get("/api/cache").second;
    EXPECT_EQ(state["folder"], target.string());
    EXPECT_EQ(state["count"], kFiles);
    EXPECT_EQ(state["size"], 6000);
}

class SiteLoginsApi : public RunningUi {
protected:
    std::vector<std::string> Sites() {
        std::vector<std::string> out;
        Json answer = Get("/api/sites").second;
        for (const Json& s : answer["sites"])
            out.push_back(s["site"].get<std::string>() + " " + s["user"].get<std::string>());
        return out;
    }
};

TEST_F(SiteLoginsApi, LoginsAreEditedByTheirRulesAndKept) {
    // A site given as an address is stored as its host, which downloads are matched by.
    auto [status, added] = Post("/api/sites", {{"site", "http://gallery.example.com:8080/x/"}, {"user", "me"}, {"password", "pw"}});
    ASSERT_EQ(status, 200) << added.dump();
    EXPECT_EQ(added["site"], "gallery.example.com");
    EXPECT_FALSE(added.contains("password"));
    ASSERT_EQ(Post("/api/sites", {{"site", "b.example.org"}, {"user", "bee"}, {"password", "pw2"}}).first, 200);

    struct Case {
        std::string path;
        Json body;
        int status;
        std::string error;
    } refused[] = {
        {"/api/sites", {{"site", "c.org"}, {"user", "me"}}, 422, "Username and password cannot be empty."},
        {"/api/sites", {{"site", "c.org"}, {"password", "pw"}}, 422, "Username and password cannot be empty."},
        {"/api/sites", {{"site", "http:///x"}, {"user", "me"}, {"password", "pw"}}, 422,
         "\"http:///x\" names no host (a host name or an address)."},
        {"/api/sites/0", {{"site", "b.example.org"}}, 409, "A login is stored for b.example.org already."},
        {"/api/sites/0", {{"maxConnections", 65}}, 422,
         "Connections at once: a whole number from 0 to 64 (0: the program's setting)."},
        {"/api/sites/9", {{"user", "x"}}, 404, "There is no such site."},
    };
    for (const Case& c : refused) {
        auto [got, answer] = Post(c.path, c.body);
        EXPECT_EQ(got, c.status) << c.body.dump();
        EXPECT_EQ(answer["error"], c.error) << c.body.dump();
    }
    EXPECT_EQ(Sites(), (std::vector<std::string>{"gallery.example.com me", "b.example.org bee"}));

    // An edit without a password keeps the stored one; a new login for a stored host replaces it.
    ASSERT_EQ(Post("/api/sites/0", {{"user", "you"}, {"cookie", "a=1"}}).first, 200);
    ASSERT_EQ(Post("/api/sites", {{"site", "B.example.org"}, {"user", "bob"}, {"password", "pw3"}}).first, 200);
    ASSERT_EQ(Post("/api/sites", {{"site", "c.example.net"}, {"user", "cy"}, {"password", "pw4"}}).first, 200);
    ASSERT_EQ(Post("/api/sites/1/delete", Json::object()).first, 200);
    EXPECT_EQ(Post("/api/sites/5/delete", Json::object()).first, 404);

    Restart();
    EXPECT_EQ(Sites(), (std::vector<std::string>{"gallery.example.com you", "c.example.net cy"}));
    EXPECT_EQ(Get("/api/sites").second["sites"][0]["cookie"], "a=1");
    // The password survived: a new user name alone is accepted.
    EXPECT_EQ(Post("/api/sites/0", {{"user", "them"}}).first, 200);
}

class ProxyApi : public RunningUi {
protected:
    // Starts a check and waits for its end; the text it ends with.
    std::string Check(const Json& body) {
        auto [status, state] = Post("/api/proxy/check", body);
        if (status != 200) return state.value("error", "");
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!state["done"].get<bool>() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            state = Get("/api/proxy/check").second;
        }
        return state.value("text", "");
    }
};

TEST_F(ProxyApi, PageRefusesWithItsMessagesAndTheCheckSaysWhatItFound) {
    struct Case {
        Json body;
        std::string error;
    } refused[] = {
        {{{"httpUse", true}, {"httpAddr", ""}, {"httpPort", 3128}}, "HTTP proxy info is invalid"},
        {{{"httpUse", true}, {"httpAddr", "proxy"}, {"httpPort", 70000}}, "HTTP proxy info is invalid"},
        {{{"httpUse", false}, {"ftpMode", 1}}, "HTTP proxy is not specified"},
        {{{"ftpMode", 2}, {"ftpAddr", ""}, {"ftpPort", 21}}, "Invalid FTP proxy information"},
    };
    for (const Case& c : refused) {
        auto [status, answer] = Post("/api/proxy", c.body);
        EXPECT_EQ(status, 422) << c.body.dump();
        EXPECT_EQ(answer["error"], c.error) << c.body.dump();
    }
    auto [status, page] = Post("/api/proxy", {{"httpUse", true}, {"httpAddr", "127.0.0.1"}, {"httpPort", 3128}, {"ftpMode", 1}});
    ASSERT_EQ(status, 200) << page.dump();
    Restart();
    page = Get("/api/proxy").second;
    EXPECT_EQ(page["httpUse"], true);
    EXPECT_EQ(page["httpAddr"], "127.0.0.1");
    EXPECT_EQ(page["httpPort"], 3128);
    EXPECT_EQ(page["ftpMode"], 1);

    // The running Plover's own port answers; a port nobody listens on does not.
    EXPECT_EQ(Check({{"address", "127.0.0.1"}, {"port", port_}}), "Proxy approved successfully");
    EXPECT_EQ(Check({{"address", "127.0.0.1"}, {"port", FreeLoopbackPort()}}), "Can't find proxy");
    EXPECT_EQ(Check({{"address", "127.0.0.1"}, {"port", 65536}}), "HTTP proxy info is invalid");
}

}  // namespace
}  // namespace plover::test
