// The exit statuses of the plover command as a script sees them: every usage error exits 2 with
// CLI11's message and, for a mistyped command or option, what it was probably meant to be; a
// failure that is no usage error exits 1; --help lists the statuses.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "run_plover.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

TEST(UsageTest, UsageErrorsExitTwoWithASuggestion) {
    TempDir home, folder;
    const std::string url = "http://127.0.0.1:9/a.bin";  // never fetched: each run ends before
    struct SCase {
        std::vector<std::string> args;
        int status;
        std::string said;  // a part of standard error
        bool parser = true; // found by the parser, which points to --help
    } cases[] = {
        {{"gte", url}, 2, "plover: gte: did you mean get?"},
        {{"frobnicate"}, 2, "not expected: frobnicate"},
        {{"get", "--fodler", folder.Str(), url}, 2, "plover: --fodler: did you mean --folder?"},
        {{"get", "--priorty=3", url}, 2, "plover: --priorty: did you mean --priority?"},
        {{"basket", "lst"}, 2, "plover: lst: did you mean list?"},
        {{"basket"}, 2, "A subcommand is required"},
        {{"get", "--priority", "11", url}, 2, "--priority"},        // a value out of range
        {{"collect", url}, 2, "--basket is required"},              // a missing option
        {{"move", "1"}, 2, "FOLDER is required"},                   // a missing argument
        {{"scan", "gallery/index.html"}, 2, "not an HTTP or FTP address", false},
        {{"get", "--ca-certificate", (folder.Path() / "none.pem").string(), url}, 1,
         "cannot read the CA certificate file", false},             // no usage error: a failure
    };
    for (const SCase& c : cases) {
        SRunResult r = RunPlover(home.Str(), c.args);
        std::string shown = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
        EXPECT_EQ(r.exitCode, c.status) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << shown << "\n" << r.err;
        if (c.parser) {
            EXPECT_NE(r.err.find("--help"), std::string::npos) << shown << "\n" << r.err;
        }
    }
}

TEST(UsageTest, HelpListsTheExitStatuses) {
    TempDir home;
    SRunResult r = RunPlover(home.Str(), {"--help"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* s : {"Exit status:", "0 success", "1 a job", "2 usage error", "130 interrupted"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
}

// A run builds only the command it names: the value of --home is never taken for one.
TEST(UsageTest, AHomeNamedLikeACommandIsStillTheHome) {
    TempDir dir;
    SRunResult r = RunPlover((dir / "scan").string(), {"profiles", "list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Scan Single Page"), std::string::npos) << r.out;
}

// The windows live in plover-web beside plover; a plover copied without it says so and fails,
// while its other commands need nothing more.
TEST(UsageTest, APloverWithoutItsWebBuildBesideItRefusesTheWindowsClearly) {
    TempDir dir;
    std::filesystem::copy_file(PloverBinary(), dir / "plover");
    std::string run = (dir / "plover").string() + " --home " + (dir / "home").string();
    int status = std::system((run + " ui </dev/null >/dev/null 2>" + (dir / "err").string()).c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string err = ReadFile(dir / "err");
    EXPECT_NE(err.find("the web front end cannot be started"), std::string::npos) << err;
    EXPECT_NE(err.find("plover-web"), std::string::npos) << err;
    status = std::system((run + " profiles list >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace plover::test
