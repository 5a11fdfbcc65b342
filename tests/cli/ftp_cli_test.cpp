// plover get with ftp:// addresses and plover move, run as a user would against vsftpd on
// loopback: the file that arrives is byte-identical (SHA-256) to the one served, in passive and in
// active mode and with a login; an interrupted run continues with REST; a finished download's file
// moves within a filesystem and across filesystems, and the list then shows its new path.
#include <signal.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

constexpr size_t MiB = 1024 * 1024;

// Bytes vsftpd sent for a path, over every transfer of its log (whole or broken off).
uint64_t BytesSent(const std::string& log, const std::string& path) {
    const std::string mark = "\", \"" + path + "\", ";
    uint64_t total = 0;
    for (size_t at = log.find("DOWNLOAD: Client"); at != std::string::npos; at = log.find("DOWNLOAD: Client", at + 1)) {
        size_t end = log.find('\n', at);
        size_t p = log.find(mark, at);
        if (p == std::string::npos || p > end) continue;
        total += std::strtoull(log.c_str() + p + mark.size(), nullptr, 10);
    }
    return total;
}

// Whether the log shows a REST to a position other than 0.
bool RestPastZero(const std::string& log) {
    for (size_t at = log.find("\"REST "); at != std::string::npos; at = log.find("\"REST ", at + 1))
        if (at + 6 < log.size() && log[at + 6] >= '1' && log[at + 6] <= '9') return true;
    return false;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class FtpCliTest : public ::testing::Test {
protected:
    SRunResult Plover(std::vector<std::string> args) { return RunPlover(home.Str(), args); }
    SRunResult Get(const std::string& url) { return Plover({"get", "--folder", out.Str(), url}); }
    std::string Served(const VsftpdServer& ftp, const std::string& name) {
        return Sha256Of((ftp.Root() / "pub" / name).string());
    }

    TempDir home, out;
};

TEST_F(FtpCliTest, PassiveAndActiveWithSeveralWorkers) {
    VsftpdServer ftp;
    WriteFile(ftp.Root() / "pub/big.bin", PatternBytes(24 * MiB, 11));
    for (bool passive : {true, false}) {
        SCOPED_TRACE(passive ? "passive" : "active");
        std::vector<std::string> set = {"proxy", "set", "ftp", "--mode", "0"};
        if (passive) set.push_back("--passive");
        ASSERT_EQ(Plover(set).exitCode, 0);
        std::filesystem::remove(out.Str() + "/big.bin");
        std::string before = ftp.Log();
        SRunResult r = Get(ftp.FtpUrl("/pub/big.bin"));
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(Sha256Of(out.Str() + "/big.bin"), Served(ftp, "big.bin"));
        std::string log = ftp.Log().substr(before.size());
        EXPECT_GE(Count(log, passive ? "\"PASV\"" : "\"PORT "), 3u) << "a probe and several sections";
        EXPECT_EQ(Count(log, passive ? "\"PORT " : "\"PASV\""), 0u);
    }
}

TEST_F(FtpCliTest, LoginInTheAddress) {
    VsftpdServer ftp;
    if (!ftp.HasUser()) GTEST_SKIP() << "no mount namespace for vsftpd's own user here";
    WriteFile(ftp.Home() / "mine.bin", PatternBytes(3 * MiB, 12));
    const auto& o = ftp.Options();
    SRunResult r = Get(ftp.FtpUrl("/mine.bin", o.userName, o.password));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(out.Str() + "/mine.bin"), Sha256Of((ftp.Home() / "mine.bin").string()));

    // The finished download is reported complete while its file is there: the file goes first, so
    // that the address is fetched again, now with the wrong password.
    std::filesystem::remove(out.Str() + "/mine.bin");
    SRunResult wrong = Get(ftp.FtpUrl("/mine.bin", o.userName, "wrong"));
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_NE(wrong.out.find("Unauthorized"), std::string::npos) << wrong.out << wrong.err;
}

TEST_F(FtpCliTest, InterruptedRunContinuesWithRest) {
    VsftpdOptions options;
    options.user = false;
    options.anonMaxRate = 512 * 1024;  // per connection
    VsftpdServer ftp(options);
    const size_t size = 32 * MiB;
    WriteFile(ftp.Root() / "pub/slow.bin", PatternBytes(size, 13));
    std::string url = ftp.FtpUrl("/pub/slow.bin");
    {
        CBackgroundPlover run(home.Str(), {"get", "--folder", out.Str(), url}, home.Str());
        for (int i = 0; i < 600; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (run.Output().find("Downloading") != std::string::npos && i > 40) break;
        }
        run.Signal(SIGINT);
        SRunResult first = run.Wait(60000);
        ASSERT_EQ(first.exitCode, 130) << first.out << first.err;
    }
    // vsftpd logs a broken-off transfer only once it notices: wait until every RETR of the first
    // run has its line, so that the second run's count holds its own transfers only.
    std::string before = ftp.Log();
    for (int i = 0; i < 200 && Count(before, "DOWNLOAD: Client") < Count(before, "\"RETR "); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        before = ftp.Log();
    }
    SRunResult second = Get(url);
    ASSERT_EQ(second.exitCode, 0) << second.out << second.err;
    EXPECT_EQ(Sha256Of(out.Str() + "/slow.bin"), Served(ftp, "slow.bin"));
    std::string again = ftp.Log().substr(before.size());
    // How far the first run got depends on the machine's load; what it fetched is not fetched again,
    // give or take the blocks in flight when it stopped.
    const uint64_t first = BytesSent(before, "/pub/slow.bin");
    EXPECT_LT(BytesSent(again, "/pub/slow.bin"), size - first / 2) << "only what was missing\n" << again;
    EXPECT_TRUE(RestPastZero(again)) << again;
}

TEST_F(FtpCliTest, MoveTheFileOfAFinishedDownload) {
    VsftpdServer ftp;
    WriteFile(ftp.Root() / "pub/m.bin", PatternBytes(5 * MiB, 14));
    ASSERT_EQ(Get(ftp.FtpUrl("/pub/m.bin")).exitCode, 0);
    const std::string sum = Served(ftp, "m.bin");

    SRunResult r = Plover({"move", "0", out.Str() + "/kept"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of(out.Str() + "/kept/m.bin"), sum);
    EXPECT_FALSE(std::filesystem::exists(out.Str() + "/m.bin"));
    EXPECT_NE(Plover({"list"}).out.find(out.Str() + "/kept/m.bin"), std::string::npos);

    // A file of that name in the way is replaced only when asked.
    WriteFile(out.Str() + "/m.bin", "mine");
    r = Plover({"move", "0", out.Str()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(ReadFile(out.Str() + "/m.bin"), "mine");
    EXPECT_EQ(Sha256Of(out.Str() + "/kept/m.bin"), sum);
    EXPECT_EQ(Plover({"move", "7", out.Str()}).exitCode, 1) << "no such download";

    // Another filesystem: copied block by block, the source removed.
    struct stat here{}, shm{};
    if (stat(out.Str().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev)
        GTEST_SKIP() << "no second filesystem at /dev/shm";
    TempDir name;  // a unique name for the folder in /dev/shm, removed at the end however it ends
    std::string shmFolder = "/dev/shm/" + std::filesystem::path(name.Str()).filename().string();
    struct SRemove {
        std::string path;
        ~SRemove() { std::filesystem::remove_all(path); }
    } removeAtEnd{shmFolder};
    r = Plover({"move", ftp.FtpUrl("/pub/m.bin"), shmFolder});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("moving"), std::string::npos) << r.out;
    EXPECT_EQ(Sha256Of(shmFolder + "/m.bin"), sum);
    EXPECT_FALSE(std::filesystem::exists(out.Str() + "/kept/m.bin"));
    EXPECT_NE(Plover({"list"}).out.find(shmFolder + "/m.bin"), std::string::npos);
}

}  // namespace
}  // namespace plover::test
