#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <cstdlib>
#include <thread>

#include "run_plover.h"
#include "testutil/temp_dir.h"

extern char** environ;

namespace plover {
namespace {

struct SResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out, err;
};

// Runs plover with the arguments; its output goes to files in dir.
class CPlover {
public:
    CPlover(const test::TempDir& dir, std::vector<std::string> args) : dir_(dir) {
        static int serial = 0;
        std::string n = std::to_string(++serial);
        outFile_ = (dir / ("out" + n)).string();
        errFile_ = (dir / ("err" + n)).string();
        args.insert(args.begin(), PLOVER_EXE);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, PLOVER_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CPlover() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::string Out() const { return test::ReadFile(outFile_); }
    void Signal(int sig) { kill(pid_, sig); }
    SResult Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), test::ReadFile(outFile_),
                test::ReadFile(errFile_)};
    }
    // Waits (generously: a loaded machine, a sanitizer build) until the output holds text.
    bool WaitForOutput(const std::string& text) {
        for (int i = 0; i < 1200; ++i) {
            if (Out().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    const test::TempDir& dir_;
    std::string outFile_, errFile_;
    pid_t pid_ = -1;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("PLOVER_HOME");
        setenv("TMPDIR", tmp.Str().c_str(), 1);  // where the cache folder falls back to
    }
    void TearDown() override { unsetenv("TMPDIR"); }
    SResult Plover(std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", home.Str()});
        return CPlover(logs, args).Wait();
    }

    test::TempDir home, tmp, logs;
};

TEST_F(CliTest, SetThenGetInANewProcessAndTheStoreIsReadableText) {
    SResult set = Plover({"settings", "set", "eTrafficMode", "2"});
    ASSERT_EQ(set.status, 0) << set.err;
    SResult get = Plover({"settings", "get", "eTrafficMode"});
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(get.out, "2\n");
    ASSERT_EQ(Plover({"settings", "set", "TimeoutParams/dwConnect", "45"}).status, 0);
    EXPECT_EQ(Plover({"settings", "get", "timeoutparams/DWCONNECT"}).out, "45\n");

    std::string store = test::ReadFile(home / "settings.txt");
    EXPECT_NE(store.find("[Software\\Bramble\\Plover]"), std::string::npos) << store;
    EXPECT_NE(store.find("\"eTrafficMode\" = number 2"), std::string::npos) << store;
    EXPECT_NE(store.find("[Software\\Bramble\\Plover\\TimeoutParams]\n\"dwConnect\" = number 45"), std::string::npos);

    SResult list = Plover({"settings", "list", "--json"});
    ASSERT_EQ(list.status, 0) << list.err;
    std::map<std::string, nlohmann::json> values;
    for (const auto& line : test::JsonLines(list.out)) values[line["name"]] = line["value"];
    EXPECT_EQ(values["eTrafficMode"], 2) << list.out;
    EXPECT_TRUE(values["iColWidths"].is_array()) << list.out;
}

TEST_F(CliTest, UnknownNamesAndValuesOfTheWrongKindAreRefused) {
    struct SCase {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"settings", "get", "eTraficMode"}, "unknown setting \"eTraficMode\""},
        {{"settings", "set", "eTrafficMode", "fast"}, "eTrafficMode takes a whole number"},
        {{"settings", "set", "dwAutoSaveTime", "-1"}, "dwAutoSaveTime takes a whole number from 0"},
        {{"settings", "set", "sizeThumb", "64"}, "sizeThumb takes 2 whole numbers"},
    };
    for (const auto& c : cases) {
        SResult r = Plover(c.args);
        EXPECT_NE(r.status, 0) << c.error;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    EXPECT_EQ(Plover({"settings", "get", "eTrafficMode"}).out, "0\n");  // nothing was changed
}

TEST_F(CliTest, RunServesTheOtherCommandsRefusesTheInstallationAndStopsInOrderOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        CPlover run(logs, {"--home", home.Str(), "run"});
        ASSERT_TRUE(run.WaitForOutput("Plover is running"));

        // Another command of the home does its work through the running Plover.
        SResult second = Plover({"settings", "set", "eTrafficMode", "1"});
        EXPECT_EQ(second.status, 0) << second.err;
        EXPECT_EQ(second.out, "eTrafficMode = 1\n");
        SResult setup = Plover({"/BRInst"});
        EXPECT_NE(setup.status, 0);
        EXPECT_EQ(setup.err, "Plover is already running. Close it and restart the installation.\n");

        run.Signal(sig);
        SResult done = run.Wait();
        EXPECT_EQ(done.status, 0) << done.err;
        EXPECT_NE(done.out.find("settings saved"), std::string::npos) << done.out;
        EXPECT_EQ(Plover({"settings", "get", "eTrafficMode"}).out, "1\n");  // kept by the running Plover
    }
}

TEST_F(CliTest, DamagedStoreIsKeptAsideWithOneWarning) {
    test::WriteFile(home / "settings.txt", "[Software\\Bramble\\Plover]\n\"eTrafficMode\" = number 1 2\n");
    SResult r = Plover({"settings", "get", "eTrafficMode"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0\n");
    size_t warning = r.err.find("warning: the settings file");
    ASSERT_NE(warning, std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("warning:", warning + 1), std::string::npos) << r.err;  // once
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    int kept = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.Path()))
        kept += e.path().filename().string().rfind("settings.txt.damaged-", 0) == 0;
    EXPECT_EQ(kept, 1);
    EXPECT_EQ(Plover({"settings", "get", "eTrafficMode"}).err.find("damaged"), std::string::npos);
}

TEST_F(CliTest, InstallAndUninstallSwitches) {
    SResult install = Plover({"--install"});
    ASSERT_EQ(install.status, 0) << install.err;
    EXPECT_TRUE(std::filesystem::exists(home / "settings.txt"));
    EXPECT_EQ(Plover({"settings", "get", "csCacheFolder"}).out, (home / "cache").string() + "\n")
        << "the installation proposes the home's own cache folder";

    // The switch counts anywhere inside an argument before the command.
    SResult uninstall = Plover({"x/BRUninsty"});
    ASSERT_EQ(uninstall.status, 0) << uninstall.err;
    EXPECT_FALSE(std::filesystem::exists(home / "settings.txt"));
    // Inside a command's arguments it is only text.
    SResult text = Plover({"settings", "set", "csExternalViewer", "/opt/BRUninst/view"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(Plover({"settings", "get", "csExternalViewer"}).out, "/opt/BRUninst/view\n");
}

}  // namespace
}  // namespace plover
