// plover get and plover move against real nginx where the saved download list matters: small
// files that must come in one request, runs killed before their first periodic save, a second run
// of a finished download, other downloads of the list, and moves of files the list knows.
#include <signal.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

// How many requests the access log ("METHOD URI STATUS RANGE BYTES") holds for one path.
int RequestsFor(const std::string& log, const std::string& uri) {
    std::istringstream in(log);
    std::string line, method, path;
    int n = 0;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        if (f >> method >> path && path == uri) ++n;
    }
    return n;
}

// The default least section of the traffic mode ("dwMinSectSize").
constexpr size_t kMinSect = 10240;

class GetListTest : public ::testing::Test {
protected:
    // plover get --folder OUT args..., given up on (killed) after a minute.
    SRunResult Get(const std::vector<std::string>& args) { return GetInto(out.Str(), args); }
    // plover get --folder FOLDER args..., given up on (killed) after a minute.
    SRunResult GetInto(const std::string& folder, std::vector<std::string> args) {
        args.insert(args.begin(), {"get", "--folder", folder});
        CBackgroundPlover run(home.Str(), args, runs.Str());
        return run.Wait(60000);
    }
    SRunResult Plover(const std::vector<std::string>& args) { return RunPlover(home.Str(), args); }
    std::string Out(const std::string& name) const { return (out / name).string(); }

    TempDir home, out, runs;
};

TEST_F(GetListTest, SmallFilesArriveWholeInOneRequest) {
    NginxServer web;
    const size_t sizes[] = {0, 1, 2, 7, kMinSect - 1, kMinSect, kMinSect + 1};
    for (size_t size : sizes) {
        const std::string name = "tiny-" + std::to_string(size) + ".bin";
        WriteFile(web.Root() / name, PatternBytes(size, uint32_t(size) + 1));
        SRunResult r = Get({web.Url("/" + name)});
        ASSERT_EQ(r.exitCode, 0) << name << "\n" << r.out << r.err;
        EXPECT_EQ(ReadFile(Out(name)), ReadFile(web.Root() / name)) << name;
        EXPECT_EQ(RequestsFor(web.AccessLog(), "/" + name), 1) << name << "\n" << web.AccessLog();
    }
}

TEST_F(GetListTest, ARunKilledBeforeItsFirstSaveIsContinued) {
    NginxOptions options;
    options.limitRate = 128 * 1024;
    NginxServer web(options);
    const size_t size = 3 * 1024 * 1024;
    WriteFile(web.Root() / "k.bin", PatternBytes(size, 21));
    const std::string url = web.Url("/slow/k.bin");
    {
        CBackgroundPlover run(home.Str(), {"get", "--folder", out.Str(), url}, runs.Str());
        // Killed as soon as its file exists: long before the first periodic save.
        for (int i = 0; i < 600 && !std::filesystem::exists(Out("k.bin")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(std::filesystem::exists(Out("k.bin"))) << run.Output();
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait(10000).exitCode, 128 + SIGKILL);
    }
    SRunResult second = Get({url});
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(Sha256Of(Out("k.bin")), Sha256Of((web.Root() / "k.bin").string()));
}

TEST_F(GetListTest, TheSameGetOfAFinishedDownloadReportsItComplete) {
    NginxServer web;
    WriteFile(web.Root() / "done.bin", PatternBytes(50000, 22));
    const std::string url = web.Url("/done.bin");
    ASSERT_EQ(Get({url}).exitCode, 0);
    const int fetched = RequestsFor(web.AccessLog(), "/done.bin");

    SRunResult again = Get({url});
    ASSERT_EQ(again.exitCode, 0) << again.out << again.err;
    EXPECT_NE(again.out.find("Finished"), std::string::npos) << again.out;
    EXPECT_EQ(RequestsFor(web.AccessLog(), "/done.bin"), fetched) << "nothing was fetched again";
    SRunResult list = Plover({"list"});
    EXPECT_NE(list.out.find("Finished"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find("Waiting"), std::string::npos) << list.out;

    // A finished download whose file is gone is fetched again.
    std::filesystem::remove(Out("done.bin"));
    SRunResult refetched = Get({url});
    ASSERT_EQ(refetched.exitCode, 0) << refetched.out << refetched.err;
    EXPECT_EQ(Sha256Of(Out("done.bin")), Sha256Of((web.Root() / "done.bin").string()));
}

TEST_F(GetListTest, MoveCarriesAFinishedEmptyFileAndNeverClaimsAMoveWithoutAFile) {
    NginxServer web;
    WriteFile(web.Root() / "empty.bin", "");
    WriteFile(web.Root() / "gone.bin", "abc");
    ASSERT_EQ(Get({web.Url("/empty.bin")}).exitCode, 0);
    ASSERT_EQ(Get({web.Url("/gone.bin")}).exitCode, 0);
    ASSERT_NE(Get({web.Url("/never.bin")}).exitCode, 0);  // "File not found": no file at all
    std::filesystem::remove(Out("gone.bin"));
    TempDir dest;

    SRunResult moved = Plover({"move", web.Url("/empty.bin"), dest.Str()});
    ASSERT_EQ(moved.exitCode, 0) << moved.out << moved.err;
    EXPECT_TRUE(std::filesystem::exists(dest / "empty.bin"));
    EXPECT_FALSE(std::filesystem::exists(Out("empty.bin")));
    EXPECT_NE(Plover({"list"}).out.find((dest / "empty.bin").string()), std::string::npos);

    for (const char* path : {"/gone.bin", "/never.bin"}) {
        SRunResult r = Plover({"move", web.Url(path), dest.Str()});
        EXPECT_EQ(r.exitCode, 1) << path << "\n" << r.out << r.err;
        EXPECT_EQ(r.out.find("Moved to"), std::string::npos) << path << "\n" << r.out;
    }
}

TEST_F(GetListTest, OnlyTheAskedDownloadsRun) {
    NginxServer web;
    WriteFile(web.Root() / "other.bin", PatternBytes(400000, 23));
    WriteFile(web.Root() / "mine.bin", PatternBytes(3000, 24));
    // A download refused earlier (its target was somebody else's file) stays in the list.
    WriteFile(Out("other.bin"), "somebody else's");
    SRunResult refused = Get({web.Url("/other.bin")});
    ASSERT_NE(refused.exitCode, 0);
    ASSERT_NE((refused.out + refused.err).find("Tgt file exists"), std::string::npos) << refused.out << refused.err;
    std::filesystem::remove(Out("other.bin"));
    const int before = RequestsFor(web.AccessLog(), "/other.bin");

    SRunResult r = Get({web.Url("/mine.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(RequestsFor(web.AccessLog(), "/other.bin"), before) << web.AccessLog();
    EXPECT_FALSE(std::filesystem::exists(Out("other.bin")));
    EXPECT_EQ(Plover({"list"}).out.find("Paused"), std::string::npos) << "the other download's state is its own";
}

TEST_F(GetListTest, TheAskedFolderTakesAListedDownloadWithoutBytes) {
    NginxServer web;
    const std::string url = web.Url("/later.bin");
    ASSERT_NE(Get({url}).exitCode, 0);  // not there yet: "File not found"
    WriteFile(web.Root() / "later.bin", PatternBytes(20000, 25));
    TempDir roomy;
    SRunResult r = GetInto(roomy.Str(), {url});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of((roomy / "later.bin").string()), Sha256Of((web.Root() / "later.bin").string()));
    EXPECT_FALSE(std::filesystem::exists(Out("later.bin")));
}

}  // namespace
}  // namespace plover::test
