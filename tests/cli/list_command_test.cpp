// plover list and its changes against real nginx: pause, resume, retry, remove and clear change the
// saved list, and plover get without an address continues what waits in it.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

class ListCommandTest : public ::testing::Test {
protected:
    SRunResult Plover(const std::vector<std::string>& args) { return RunPlover(home.Str(), args); }
    // plover get --folder OUT args..., given up on (killed) after two minutes.
    SRunResult Get(std::vector<std::string> args) {
        args.insert(args.begin(), {"get", "--folder", out.Str()});
        CBackgroundPlover run(home.Str(), args, runs.Str());
        return run.Wait(120000);
    }
    // The saved list as plover list --json tells it, by address.
    std::map<std::string, nlohmann::json> Listed() {
        SRunResult r = Plover({"list", "--json"});
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        std::map<std::string, nlohmann::json> byUrl;
        for (auto& j : JsonLines(r.out)) {
            EXPECT_EQ(j["type"], "download") << j;
            byUrl[j["url"].get<std::string>()] = j;
        }
        return byUrl;
    }
    // Starts a slow download and kills the run once its file exists: it stays unfinished in the list.
    void LeaveUnfinished(const std::string& url, const std::string& name) {
        CBackgroundPlover run(home.Str(), {"get", "--folder", out.Str(), url}, runs.Str());
        for (int i = 0; i < 1500 && !std::filesystem::exists(out / name); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(std::filesystem::exists(out / name)) << run.Output();
        run.Signal(SIGKILL);
        run.Wait(10000);
    }

    TempDir home, out, runs;
};

TEST_F(ListCommandTest, PauseResumeAndRetryChangeWhatGetWithoutAnAddressContinues) {
    NginxOptions options;
    options.limitRate = 64 * 1024;
    NginxServer web(options);
    WriteFile(web.Root() / "k.bin", PatternBytes(400000, 31));
    const std::string slow = web.Url("/slow/k.bin"), later = web.Url("/later.bin");
    LeaveUnfinished(slow, "k.bin");
    ASSERT_NE(Get({later}).exitCode, 0);  // not there yet: "File not found"
    ASSERT_EQ(Listed().size(), 2u);
    ASSERT_TRUE(Listed()[later]["reason"] == "File not found" || Listed()[later]["status"] == "File not found")
        << Listed()[later];

    SRunResult paused = Plover({"list", "pause", slow});
    ASSERT_EQ(paused.exitCode, 0) << paused.out << paused.err;
    EXPECT_EQ(Listed()[slow]["status"], "Paused");
    const int requests = web.RequestCount("/slow/k.bin");
    SRunResult idle = Get({});
    EXPECT_EQ(idle.exitCode, 0) << idle.out << idle.err;
    EXPECT_NE(idle.err.find("Nothing to continue"), std::string::npos) << idle.err;
    EXPECT_EQ(web.RequestCount("/slow/k.bin"), requests) << "a paused download stays paused";

    // Refusals name the download and leave it alone; an unknown one fails the command.
    SRunResult refused = Plover({"list", "resume", later});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("failed"), std::string::npos) << refused.err;
    SRunResult unknown = Plover({"list", "retry", "999"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("no download 999"), std::string::npos) << unknown.err;

    const std::string id = std::to_string(Listed()[slow]["id"].get<int>());
    ASSERT_EQ(Plover({"list", "resume", id}).exitCode, 0);
    WriteFile(web.Root() / "later.bin", PatternBytes(30000, 32));
    SRunResult retried = Plover({"list", "retry", later, "--json"});
    ASSERT_EQ(retried.exitCode, 0) << retried.out << retried.err;
    ASSERT_EQ(JsonLines(retried.out).size(), 1u) << retried.out;
    EXPECT_EQ(JsonLines(retried.out)[0]["action"], "retried");
    for (auto& [url, j] : Listed()) EXPECT_EQ(j["status"], "Waiting") << url;
    EXPECT_EQ(web.RequestCount("/later.bin"), 1) << "changing the list fetches nothing";

    SRunResult continued = Get({});
    ASSERT_EQ(continued.exitCode, 0) << continued.out << continued.err;
    EXPECT_EQ(Sha256Of((out / "k.bin").string()), Sha256Of((web.Root() / "k.bin").string()));
    EXPECT_EQ(Sha256Of((out / "later.bin").string()), Sha256Of((web.Root() / "later.bin").string()));
    for (auto& [url, j] : Listed()) EXPECT_EQ(j["status"], "Finished") << url;

    // Running the same get again says the file is there and fetches nothing.
    const int fetched = web.RequestCount("/later.bin");
    SRunResult again = Get({later});
    EXPECT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Finished already"), std::string::npos) << again.out;
    SRunResult json = Get({later, "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.out << json.err;
    std::vector<nlohmann::json> lines = JsonLines(json.out);
    ASSERT_EQ(lines.size(), 2u) << json.out;
    EXPECT_EQ(lines[0]["type"], "download");
    EXPECT_EQ(lines[0]["already"], true);
    EXPECT_EQ(lines[1]["type"], "summary");
    EXPECT_EQ(lines[1]["finished"], 1);
    EXPECT_EQ(web.RequestCount("/later.bin"), fetched);
}

TEST_F(ListCommandTest, RemoveAndClearTakeDownloadsOutOfTheList) {
    NginxServer web;
    WriteFile(web.Root() / "a.bin", PatternBytes(5000, 33));
    WriteFile(web.Root() / "b.bin", PatternBytes(6000, 34));
    const std::string a = web.Url("/a.bin"), b = web.Url("/b.bin"), gone = web.Url("/gone.bin");
    ASSERT_EQ(Get({a}).exitCode, 0);
    ASSERT_EQ(Get({b}).exitCode, 0);
    ASSERT_NE(Get({gone}).exitCode, 0);
    ASSERT_EQ(Listed().size(), 3u);

    struct {
        std::vector<std::string> args;
        std::string leaves;  // the address that is no longer listed
        size_t left;
    } steps[] = {
        {{"list", "clear", "--failed"}, gone, 2},
        {{"list", "remove", a}, a, 1},
        {{"list", "clear", "--finished"}, b, 0},
    };
    for (auto& step : steps) {
        SRunResult r = Plover(step.args);
        ASSERT_EQ(r.exitCode, 0) << step.args[1] << "\n" << r.out << r.err;
        auto listed = Listed();
        EXPECT_EQ(listed.size(), step.left) << step.args[1];
        EXPECT_EQ(listed.count(step.leaves), 0u) << step.args[1];
    }
    EXPECT_TRUE(std::filesystem::exists(out / "a.bin")) << "a finished download's file stays";
    EXPECT_NE(Plover({"list"}).out.find("The download list is empty."), std::string::npos);
    EXPECT_NE(Plover({"list", "clear"}).exitCode, 0) << "clear says what to clear";
}

}  // namespace
}  // namespace plover::test
