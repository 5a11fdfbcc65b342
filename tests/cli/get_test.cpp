// plover get against real servers on loopback, checked as a user would: the file that arrives is
// byte-identical (SHA-256) to the one served, the exit status tells success, and the server's
// log shows how it was fetched.
#include <signal.h>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

constexpr size_t MiB = 1024 * 1024;

// Requests of the access log ("METHOD URI STATUS RANGE BYTES") for one path.
struct SLogLine {
    std::string uri, range;
    int status = 0;
    uint64_t bytes = 0;
};
std::vector<SLogLine> Requests(const std::string& log, const std::string& uri) {
    std::vector<SLogLine> out;
    std::istringstream in(log);
    std::string method, line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        SLogLine l;
        if (f >> method >> l.uri >> l.status >> l.range >> l.bytes && l.uri == uri) out.push_back(l);
    }
    return out;
}

uint64_t BytesServed(const std::vector<SLogLine>& lines) {
    uint64_t n = 0;
    for (auto& l : lines) n += l.bytes;
    return n;
}

class GetTest : public ::testing::Test {
protected:
    std::string Home() const { return home.Str(); }
    std::string Folder() const { return out.Str(); }
    SRunResult Get(std::vector<std::string> args) {
        args.insert(args.begin(), {"get", "--folder", Folder()});
        return RunPlover(Home(), args);
    }

    TempDir home, out;
};

TEST_F(GetTest, LargeFileFromNginxArrivesWholeThroughSeveralWorkers) {
    NginxServer web;
    WriteFile(web.Root() / "big.bin", PatternBytes(48 * MiB, 1));
    SRunResult r = Get({web.Url("/big.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/big.bin"), Sha256Of((web.Root() / "big.bin").string()));
    auto requests = Requests(web.AccessLog(), "/big.bin");
    int ranged = 0;
    for (auto& l : requests) ranged += l.status == 206;
    EXPECT_GE(ranged, 2) << web.AccessLog();
    EXPECT_NE(r.out.find("Finished"), std::string::npos) << r.out;

    // The download stays in the saved list.
    SRunResult list = RunPlover(Home(), {"list"});
    EXPECT_EQ(list.exitCode, 0) << list.err;
    EXPECT_NE(list.out.find(web.Url("/big.bin")), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("Finished"), std::string::npos) << list.out;
}

TEST_F(GetTest, ThroughTheHttpProxy) {
    NginxServer web;
    TinyProxy proxy;
    WriteFile(web.Root() / "p.bin", PatternBytes(6 * MiB, 2));
    SRunResult set = RunPlover(Home(), {"proxy", "set", "http", "127.0.0.1", std::to_string(proxy.Port())});
    ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
    SRunResult r = Get({web.Url("/p.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/p.bin"), Sha256Of((web.Root() / "p.bin").string()));
    EXPECT_NE(proxy.Log().find("/p.bin"), std::string::npos) << proxy.Log();
}

TEST_F(GetTest, FromAServerThatIgnoresRangesInOneStream) {
    PythonHttpServer plain;
    WriteFile(plain.Root() / "plain.bin", PatternBytes(12 * MiB, 3));
    SRunResult r = Get({plain.Url("/plain.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/plain.bin"), Sha256Of((plain.Root() / "plain.bin").string()));
}

TEST_F(GetTest, InterruptedRunIsContinuedWithoutFetchingTheFinishedPartAgain) {
    NginxOptions options;
    options.limitRate = 512 * 1024;
    NginxServer web(options);
    const size_t size = 16 * MiB;
    WriteFile(web.Root() / "slow.bin", PatternBytes(size, 4));
    std::string url = web.Url("/slow/slow.bin");
    {
        CBackgroundPlover run(Home(), {"get", "--folder", Folder(), url}, home.Str());
        // Let it fetch a part: wait until the server has sent at least a fifth of the file.
        for (int i = 0; i < 600; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (run.Output().find("Downloading") != std::string::npos && i > 40) break;
        }
        run.Signal(SIGINT);
        SRunResult first = run.Wait(60000);
        ASSERT_EQ(first.exitCode, 130) << first.out << first.err;
        EXPECT_NE(first.err.find("run the same command again"), std::string::npos) << first.err;
    }
    size_t firstLines = Requests(web.AccessLog(), "/slow/slow.bin").size();
    SRunResult second = RunPlover(Home(), {"get", "--folder", Folder(), url});
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(Sha256Of(Folder() + "/slow.bin"), Sha256Of((web.Root() / "slow.bin").string()));

    auto all = Requests(web.AccessLog(), "/slow/slow.bin");
    std::vector<SLogLine> again(all.begin() + long(firstLines), all.end());
    ASSERT_FALSE(again.empty());
    // The second run asked only for what was missing: well under the whole file.
    EXPECT_LT(BytesServed(again), size - size / 8) << web.AccessLog();
    for (auto& l : again) EXPECT_NE(l.range, "-") << "the second run fetched the file without a range";
}

TEST_F(GetTest, AKilledRunLosesAtMostTheProgressSinceTheLastPeriodicSave) {
    NginxOptions options;
    options.limitRate = 256 * 1024;
    NginxServer web(options);
    const size_t size = 12 * MiB;
    WriteFile(web.Root() / "k.bin", PatternBytes(size, 8));
    std::string url = web.Url("/slow/k.bin");
    ASSERT_EQ(RunPlover(Home(), {"settings", "set", "dwAutoSaveTime", "1"}).exitCode, 0);
    {
        CBackgroundPlover run(Home(), {"get", "--folder", Folder(), url}, home.Str());
        // Wait for a periodic save that holds sections (a "SECT" group with its "Start"; the
        // record written before the file was made has none), then kill without warning.
        std::string list;
        for (int i = 0; i < 400 && list.find("Start :") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            list = ReadFile(home / "Default.fll");
        }
        ASSERT_NE(list.find("Start :"), std::string::npos) << "no periodic save with sections";
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait(10000).exitCode, 128 + SIGKILL);
    }
    size_t firstLines = Requests(web.AccessLog(), "/slow/k.bin").size();
    SRunResult second = RunPlover(Home(), {"get", "--folder", Folder(), url});
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(Sha256Of(Folder() + "/k.bin"), Sha256Of((web.Root() / "k.bin").string()));
    auto all = Requests(web.AccessLog(), "/slow/k.bin");
    std::vector<SLogLine> again(all.begin() + long(firstLines), all.end());
    EXPECT_LT(BytesServed(again), size) << web.AccessLog();
}

TEST_F(GetTest, MissingFileFailsWithItsStatusText) {
    NginxServer web;
    WriteFile(web.Root() / "here.bin", PatternBytes(1000, 5));
    SRunResult r = Get({web.Url("/here.bin"), web.Url("/missing.bin")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE((r.out + r.err).find("File not found"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/here.bin"), Sha256Of((web.Root() / "here.bin").string()));
}

TEST_F(GetTest, ForbiddenAndBadAddressesFail) {
    NginxServer web;
    SRunResult r = Get({web.Url("/forbidden/x.bin")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE((r.out + r.err).find("Forbidden"), std::string::npos) << r.out << r.err;
    SRunResult bad = Get({"not-an-address"});
    EXPECT_NE(bad.exitCode, 0);
}

TEST_F(GetTest, BasicAuthenticationWithAStoredSiteLogin) {
    NginxServer web;
    std::filesystem::create_directories(web.Root() / "auth");
    WriteFile(web.Root() / "auth" / "a.bin", PatternBytes(3 * MiB, 6));
    std::string url = web.Url("/auth/a.bin");

    SRunResult refused = Get({url});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE((refused.out + refused.err).find("Unauthorized"), std::string::npos) << refused.out << refused.err;

    SRunResult add = RunPlover(Home(), {"sites", "add", "127.0.0.1", "user", "secret"});
    ASSERT_EQ(add.exitCode, 0) << add.err;
    SRunResult sites = RunPlover(Home(), {"sites", "list"});
    EXPECT_NE(sites.out.find("127.0.0.1  user"), std::string::npos) << sites.out;
    EXPECT_EQ(sites.out.find("secret"), std::string::npos) << "passwords are never shown";

    SRunResult r = Get({"--verbose", url});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    // --verbose shows the protocol: the request with its login, and the answer.
    EXPECT_NE(r.err.find("> GET /auth/a.bin HTTP/1.1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("> Authorization: Basic dXNlcjpzZWNyZXQ="), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("< HTTP/1.1 20"), std::string::npos) << r.err;
    EXPECT_EQ(Sha256Of(Folder() + "/a.bin"), Sha256Of((web.Root() / "auth" / "a.bin").string()));
}

TEST_F(GetTest, ExistingTargetIsKeptUnlessOverwriteIsGiven) {
    NginxServer web;
    WriteFile(web.Root() / "t.bin", PatternBytes(100000, 7));
    WriteFile(out / "t.bin", "mine");
    SRunResult kept = Get({web.Url("/t.bin")});
    EXPECT_NE(kept.exitCode, 0);
    EXPECT_NE((kept.out + kept.err).find("Tgt file exists"), std::string::npos) << kept.out << kept.err;
    EXPECT_EQ(ReadFile(out / "t.bin"), "mine");
    SRunResult replaced = Get({"--overwrite", web.Url("/t.bin")});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.out << replaced.err;
    EXPECT_EQ(Sha256Of(Folder() + "/t.bin"), Sha256Of((web.Root() / "t.bin").string()));
}

}  // namespace
}  // namespace plover::test
