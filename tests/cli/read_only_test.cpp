// The commands that only show what is stored, run while another plover of the same home downloads:
// they take no lock and succeed, their --json output is JSON lines of one shape family, and the
// one that changes the history refuses clearly meanwhile. The download history as plover history
// shows and forgets it.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;

class ReadOnlyTest : public ::testing::Test {
protected:
    SRunResult Plover(const std::vector<std::string>& args) { return RunPlover(home.Str(), args); }
    TempDir home, out, runs;
};

TEST_F(ReadOnlyTest, ShowingCommandsWorkWhileADownloadRunsAndTheirJsonIsJsonLines) {
    ASSERT_EQ(Plover({"--install"}).exitCode, 0);
    NginxOptions options;
    options.limitRate = 32 * 1024;
    NginxServer web(options);
    WriteFile(web.Root() / "big.bin", PatternBytes(8 << 20, 41));
    CBackgroundPlover get(home.Str(), {"get", "--folder", out.Str(), web.Url("/slow/big.bin")}, runs.Str());
    for (int i = 0; i < 1500 && !fs::exists(out / "big.bin"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(fs::exists(out / "big.bin")) << get.Output();

    struct {
        std::vector<std::string> args;
        const char* type;  // of every JSON line; nullptr: the command has no --json
    } cases[] = {
        {{"list"}, "download"},
        {{"basket", "list"}, "basket"},
        {{"basket", "show", "Art"}, "basket"},
        {{"profiles", "list"}, "profile"},
        {{"profiles", "show", "1"}, "profile"},
        {{"settings", "list"}, "setting"},
        {{"settings", "get", "eTrafficMode"}, "setting"},
        {{"search", "list"}, "searchSite"},
        {{"cache", "info"}, "cache"},
        {{"history"}, "history"},
    };
    for (auto& c : cases) {
        SRunResult plain = Plover(c.args);
        EXPECT_EQ(plain.exitCode, 0) << c.args[0] << "\n" << plain.out << plain.err;
        EXPECT_FALSE(plain.out.empty()) << c.args[0];
        std::vector<std::string> args = c.args;
        args.push_back("--json");
        SRunResult json = Plover(args);
        ASSERT_EQ(json.exitCode, 0) << args[0] << "\n" << json.err;
        std::vector<nlohmann::json> lines;
        try {
            lines = JsonLines(json.out);
        } catch (const std::exception& e) {
            ADD_FAILURE() << args[0] << ": not JSON lines: " << e.what() << "\n" << json.out;
        }
        if (c.args[0] != "history") {
            EXPECT_FALSE(lines.empty()) << args[0];
        }
        for (auto& line : lines) EXPECT_EQ(line["type"], c.type) << line;
    }
    // The file being downloaded is in the list, as the other plover last saved it.
    EXPECT_NE(Plover({"list"}).out.find("big.bin"), std::string::npos);

    SRunResult forget = Plover({"history", "forget", out.Str()});
    EXPECT_NE(forget.exitCode, 0);
    EXPECT_NE(forget.err.find("in use by the Plover that runs"), std::string::npos) << forget.err;

    get.Signal(SIGINT);
    EXPECT_EQ(get.Wait(60000).exitCode, 130);
}

TEST_F(ReadOnlyTest, TheHistoryShowsWhereEachBasketFileCameFromAndForgetsIt) {
    NginxServer web;
    WriteFile(web.Root() / "p.jpg", PatternBytes(3000, 42));
    WriteFile(web.Root() / "q.jpg", PatternBytes(4000, 43));
    fs::path basket = out.Path() / "pictures";
    fs::create_directories(basket);
    ASSERT_EQ(Plover({"basket", "add", "Pictures", basket.string()}).exitCode, 0);
    SRunResult drop = Plover({"basket", "drop", "Pictures", web.Url("/p.jpg"), web.Url("/q.jpg")});
    ASSERT_EQ(drop.exitCode, 0) << drop.out << drop.err;

    auto entries = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"history", "--json"});
        std::map<std::string, std::string> byPath;
        for (auto& j : JsonLines(Plover(args).out)) byPath[j["path"]] = j["url"];
        return byPath;
    };
    const std::string p = (basket / "p.jpg").string(), q = (basket / "q.jpg").string();
    EXPECT_EQ(entries({}), (std::map<std::string, std::string>{{p, web.Url("/p.jpg")}, {q, web.Url("/q.jpg")}}));
    EXPECT_EQ(entries({web.Url("/q.jpg")}).size(), 1u);
    EXPECT_EQ(entries({p}).count(p), 1u);
    fs::remove(q);
    EXPECT_NE(Plover({"history"}).out.find(q + " (gone)"), std::string::npos);

    SRunResult forget = Plover({"history", "forget", p});
    ASSERT_EQ(forget.exitCode, 0) << forget.out << forget.err;
    EXPECT_EQ(entries({}).count(p), 0u);
    EXPECT_EQ(entries({}).size(), 1u);
    SRunResult unknown = Plover({"history", "forget", p});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no entry for " + p), std::string::npos) << unknown.err;
}


// The reports that are not listings speak the same JSON lines: the proxies, the dialer and each
// picture of plover info (one that cannot be decoded is told as such, and the run fails).
TEST_F(ReadOnlyTest, ReportsAreJsonLinesWithTheirType) {
    WriteFile(out.Path() / "not-a-picture.jpg", PatternBytes(500, 44));
    struct {
        std::vector<std::string> args;
        const char* type;
        int exitCode;
    } cases[] = {
        {{"proxy", "show", "--json"}, "proxy", 0},
        {{"dialup", "status", "--json"}, "dialup", 0},
        {{"info", "--json", (out.Path() / "not-a-picture.jpg").string()}, "image", 1},
    };
    for (auto& c : cases) {
        SRunResult r = Plover(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args[0] << "\n" << r.err;
        std::vector<nlohmann::json> lines = JsonLines(r.out);
        ASSERT_EQ(lines.size(), 1u) << c.args[0] << "\n" << r.out;
        EXPECT_EQ(lines[0]["type"], c.type) << lines[0];
    }
}

}  // namespace
}  // namespace plover::test
