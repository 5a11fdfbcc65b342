// `plover settings` and `plover list` while `plover ui` runs in the home: done through it, with
// the output of a run alone, instead of stopping at "Plover is already running.".
#include "web/running_ui.h"

#include <sstream>

namespace plover::test {
namespace {

using Json = nlohmann::json;

class RemoteSettings : public RunningUi {};

TEST_F(RemoteSettings, SettingsAreReadAndChangedInTheRunningPlover) {
    SRunResult set = RunPlover(home_.Str(), {"settings", "set", "iMaxCacheSpace", "300"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, "iMaxCacheSpace = 300\n");
    EXPECT_EQ(RunPlover(home_.Str(), {"settings", "get", "imaxcachespace"}).out, "300\n");
    Json list = Json::object();  // JSON lines, one setting a line
    std::istringstream lines(RunPlover(home_.Str(), {"settings", "list", "--json"}).out);
    for (std::string line; std::getline(lines, line);) {
        Json setting = Json::parse(line);
        EXPECT_EQ(setting["type"], "setting");
        list[setting["name"].get<std::string>()] = setting["value"];
    }
    EXPECT_EQ(list["iMaxCacheSpace"], 300);
    EXPECT_EQ(list["sizeThumbMaxSize"], Json({200, 200}));
    EXPECT_NE(RunPlover(home_.Str(), {"settings", "list"}).out.find("\neCacheMode = 1\n"), std::string::npos);

    struct Case {
        std::vector<std::string> args;
        std::string err;
    } refused[] = {
        {{"settings", "set", "iMaxCacheSpace", "5"}, "plover: Maximal cache disk space: a whole number from 20 to 2000.\n"},
        {{"settings", "set", "noSuch", "1"}, "plover: unknown setting \"noSuch\" (plover settings list shows them all)\n"},
        {{"settings", "get", "noSuch"}, "plover: unknown setting \"noSuch\" (plover settings list shows them all)\n"},
    };
    for (const Case& c : refused) {
        SRunResult r = RunPlover(home_.Str(), c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args[2];
        EXPECT_EQ(r.err, c.err) << c.args[2];
    }
    // The running program has the change, and keeps it.
    Restart();
    EXPECT_EQ(RunPlover(home_.Str(), {"settings", "get", "iMaxCacheSpace"}).out, "300\n");
}

TEST_F(RemoteSettings, ListShowsTheRunningPloversDownloads) {
    EXPECT_EQ(RunPlover(home_.Str(), {"list"}).out, "The download list is empty.\n");
    auto [status, added] = Post("/api/downloads", {{"urls", {"http://127.0.0.1:1/a.bin"}}, {"paused", true},
                                                   {"folder", home_.Str()}, {"priority", 7}});
    ASSERT_EQ(status, 200) << added.dump();
    SRunResult r = RunPlover(home_.Str(), {"list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("  priority 7  " + home_.Str() + "/a.bin  http://127.0.0.1:1/a.bin\n"), std::string::npos)
        << r.out;
    Json json = Json::parse(RunPlover(home_.Str(), {"list", "--json"}).out);  // one download: one line
    EXPECT_EQ(json["type"], "download");
    EXPECT_EQ(json["url"], "http://127.0.0.1:1/a.bin");
    EXPECT_EQ(json["priority"], 7);
}

TEST_F(RemoteSettings, BasketListShowsTheRunningPloversBaskets) {
    SRunResult none = RunPlover(home_.Str(), {"basket", "list"});
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("No baskets."), std::string::npos) << none.err;
    std::filesystem::create_directories(home_ / "Cars");
    auto [status, added] = Post("/api/baskets", {{"name", "Cars"}, {"folder", (home_ / "Cars").string()}});
    ASSERT_EQ(status, 200) << added.dump();
    EXPECT_EQ(RunPlover(home_.Str(), {"basket", "list"}).out, "Cars\t" + (home_ / "Cars").string() + "\n");
    Json line = Json::parse(RunPlover(home_.Str(), {"basket", "list", "--json"}).out);
    EXPECT_EQ(line["name"], "Cars");
    EXPECT_EQ(line["dispatch"], "root folder");
    EXPECT_EQ(line["client"], 1000 + line["id"].get<int>());
}

}  // namespace
}  // namespace plover::test

namespace plover::test {
namespace {

TEST(RemoteRun, RunServesTheCommandsWithoutWindows) {
    TempDir home, io;
    CBackgroundPlover run(home.Str(), {"run", "--no-ui"}, io.Str());
    for (int i = 0; i < 1200 && run.Output().find("Plover is running") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    SRunResult set = RunPlover(home.Str(), {"settings", "set", "eTrafficMode", "2"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, "eTrafficMode = 2\n");
    // The API answers at the recorded address; the windows are not served.
    std::string url = ReadFile(home / "ui-address");
    size_t colon = url.rfind(':'), slash = url.find('/', colon), token = url.find("?token=");
    httplib::Client client("127.0.0.1", std::stoi(url.substr(colon + 1, slash - colon - 1)));
    httplib::Headers auth = {{"Authorization", "Bearer " + url.substr(token + 7, 64)}};
    EXPECT_EQ(client.Get("/api/windows/main", auth)->status, 200);
    EXPECT_EQ(client.Get("/", auth)->status, 404);
    EXPECT_EQ(run.Output().find("Its windows:"), std::string::npos);
    run.Signal(SIGTERM);
    EXPECT_EQ(run.Wait(60000).exitCode, 0);
    EXPECT_EQ(RunPlover(home.Str(), {"settings", "get", "eTrafficMode"}).out, "2\n");
    EXPECT_FALSE(std::filesystem::exists(home / "ui-address"));
}

}  // namespace
}  // namespace plover::test
