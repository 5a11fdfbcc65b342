// The options users of other download programs type by habit, against nginx (and tinyproxy): the
// short forms do what the long ones do, header lines, the referrer and a login reach the server,
// the file keeps the server's time, the environment's proxy is honoured, and what is mistyped is
// a usage error. Options of a run are never stored.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "run_plover.h"
#include "run_plover_input.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

NginxOptions WithEcho() {
    NginxOptions o;
    // Answers with the header lines the test looks for.
    o.extraLocations =
        "    location /echo/ { default_type text/plain; "
        "return 200 \"token=$http_x_token referer=$http_referer\\n\"; }\n";
    return o;
}

class FamiliarOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The machine's own proxy settings must not send loopback traffic elsewhere.
        for (const char* v : {"http_proxy", "https_proxy", "ftp_proxy", "no_proxy", "HTTPS_PROXY", "NO_PROXY"})
            unsetenv(v);
        WriteFile(web.Root() / "a.bin", PatternBytes(300000, 1));
        WriteFile(web.Root() / "b.bin", PatternBytes(200000, 2));
    }
    std::string Served(const std::string& name) const { return Sha256Of((web.Root() / name).string()); }
    SRunResult Run(const std::vector<std::string>& args) { return RunPlover(home.Str(), args); }

    NginxServer web{WithEcho()};
    TempDir home;
};

TEST_F(FamiliarOptionsTest, ShortFormsDoWhatTheLongFormsDo) {
    TempDir lists;
    std::string list = (lists / "list.txt").string();
    WriteFile(list, web.Url("/a.bin") + "\n" + web.Url("/b.bin") + "\n");
    using Check = std::function<void(const SRunResult&, const fs::path& dir)>;
    Check bothFiles = [&](const SRunResult& r, const fs::path& dir) {
        EXPECT_EQ(Sha256Of((dir / "a.bin").string()), Served("a.bin")) << r.out << r.err;
        EXPECT_EQ(Sha256Of((dir / "b.bin").string()), Served("b.bin")) << r.out << r.err;
    };
    struct SCase {
        const char* name;
        std::vector<std::string> shortForm, longForm;  // "DIR" stands for the run's folder
        Check check;
    } cases[] = {
        {"folder", {"-P", "DIR", web.Url("/a.bin")}, {"--folder", "DIR", web.Url("/a.bin")},
         [&](const SRunResult& r, const fs::path& dir) {
             EXPECT_EQ(Sha256Of((dir / "a.bin").string()), Served("a.bin")) << r.out << r.err;
         }},
        {"output", {"-o", "DIR/named.dat", web.Url("/a.bin")}, {"--output", "DIR/named.dat", web.Url("/a.bin")},
         [&](const SRunResult& r, const fs::path& dir) {
             EXPECT_EQ(Sha256Of((dir / "named.dat").string()), Served("a.bin")) << r.out << r.err;
             EXPECT_FALSE(fs::exists(dir / "a.bin"));
         }},
        {"input", {"-i", list, "-P", "DIR"}, {"--input", list, "--folder", "DIR"}, bothFiles},
        {"quiet", {"-q", "-P", "DIR", web.Url("/a.bin")}, {"--quiet", "--folder", "DIR", web.Url("/a.bin")},
         [&](const SRunResult& r, const fs::path& dir) {
             EXPECT_EQ(r.out, "");
             EXPECT_TRUE(fs::exists(dir / "a.bin"));
         }},
        {"verbose", {"-v", "-P", "DIR", web.Url("/a.bin")}, {"--verbose", "--folder", "DIR", web.Url("/a.bin")},
         [&](const SRunResult& r, const fs::path&) { EXPECT_TRUE(Contains(r.err, "> GET /a.bin")) << r.err; }},
    };
    for (auto& c : cases) {
        for (const auto* form : {&c.shortForm, &c.longForm}) {
            SCOPED_TRACE(std::string(c.name) + (form == &c.shortForm ? " (short)" : " (long)"));
            TempDir dir;
            std::vector<std::string> args = {"get"};
            for (std::string a : *form) {
                if (a.rfind("DIR", 0) == 0) a = dir.Str() + a.substr(3);
                args.push_back(a);
            }
            SRunResult r = Run(args);
            ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
            c.check(r, dir.Path());
        }
    }
}

TEST_F(FamiliarOptionsTest, AddressesFromStandardInput) {
    TempDir dir;
    SRunResult r = RunPloverWithInput(home.Str(), {"get", "-i", "-", "-P", dir.Str()},
                                      "# mine\n" + web.Url("/a.bin") + "\n\n" + web.Url("/b.bin") + "\n");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of((dir / "a.bin").string()), Served("a.bin"));
    EXPECT_EQ(Sha256Of((dir / "b.bin").string()), Served("b.bin"));
}

TEST_F(FamiliarOptionsTest, HeaderLinesRefererAndLoginReachTheServer) {
    TempDir dir;
    SRunResult r = Run({"get", "-P", dir.Str(), "--header", "X-Token: t-42", "--referer", "http://ref.example/page.html",
                        web.Url("/echo/h.txt")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadFile(dir / "h.txt"), "token=t-42 referer=http://ref.example/page.html\n");

    WriteFile(web.Root() / "auth" / "s.bin", PatternBytes(5000, 3));
    SRunResult refused = Run({"get", "-P", dir.Str(), web.Url("/auth/s.bin")});
    EXPECT_EQ(refused.exitCode, 1) << refused.out << refused.err;
    SRunResult login = Run({"get", "-P", dir.Str(), "--user", "user", "--password", "secret", web.Url("/auth/s.bin")});
    ASSERT_EQ(login.exitCode, 0) << login.out << login.err;
    EXPECT_EQ(Sha256Of((dir / "s.bin").string()), Served("auth/s.bin"));
}

TEST_F(FamiliarOptionsTest, MistypedOptionsAreUsageErrors) {
    TempDir dir;
    std::string a = web.Url("/a.bin");
    struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"get", "-P", dir.Str(), "--limit-rate", "fast", a}, "not a rate"},
        {{"get", "-P", dir.Str(), "--header", "no colon", a}, "not a header line"},
        {{"get", "-P", dir.Str(), "--proxy", "socks5://127.0.0.1:1", a}, "not an HTTP proxy"},
        {{"get", "-P", dir.Str(), "--proxy", "http://127.0.0.1:1", "--no-proxy", a}, "exclude each other"},
        {{"get", "-o", (dir / "x").string(), a, web.Url("/b.bin")}, "one address"},
        {{"get", "-P", dir.Str(), "--user", "user", a}, "--ask-password"},
        {{"scan", "--limit-rate", "1x", a}, "not a rate"},
        {{"collect", "--basket", "none", "--header", ":x", a}, "not a header line"},
    };
    for (auto& c : cases) {
        SRunResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args[0] << " " << c.says << "\n" << r.out << r.err;
        EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "a.bin"));
}

TEST_F(FamiliarOptionsTest, RateAndSectionsHoldForTheRunOnly) {
    TempDir dir;
    SRunResult before = Run({"settings", "get", "TrafficMode1/dwTransferQuota"});
    ASSERT_EQ(before.exitCode, 0) << before.err;
    SRunResult r = Run({"get", "-P", dir.Str(), "--limit-rate", "100M", "--sections", "1", web.Url("/a.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(Sha256Of((dir / "a.bin").string()), Served("a.bin"));
    EXPECT_EQ(Run({"settings", "get", "TrafficMode1/dwTransferQuota"}).out, before.out);
}

TEST_F(FamiliarOptionsTest, TheFileKeepsTheServersTimeUnlessTurnedOff) {
    const time_t when = 1000000000;  // 2001-09-09
    struct utimbuf times {when, when};
    ASSERT_EQ(utime((web.Root() / "a.bin").c_str(), &times), 0);
    auto modified = [](const fs::path& p) {
        struct stat st {};
        return stat(p.c_str(), &st) == 0 ? st.st_mtime : time_t(-1);
    };
    TempDir kept, fresh;
    ASSERT_EQ(Run({"get", "-P", kept.Str(), web.Url("/a.bin")}).exitCode, 0);
    EXPECT_EQ(modified(kept / "a.bin"), when);
    ASSERT_EQ(Run({"settings", "set", "bServerFileTime", "0"}).exitCode, 0);
    ASSERT_EQ(Run({"get", "-P", fresh.Str(), web.Url("/a.bin")}).exitCode, 0);
    EXPECT_GT(modified(fresh / "a.bin"), when + 86400 * 365);
}

TEST_F(FamiliarOptionsTest, TheEnvironmentsProxyUnlessNoProxyOrStoredOrRefused) {
    TinyProxy proxy;
    std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.Port());
    WriteFile(web.Root() / "p1.bin", "one");
    WriteFile(web.Root() / "p2.bin", "two");
    WriteFile(web.Root() / "p3.bin", "three");
    WriteFile(web.Root() / "p4.bin", "four");
    TempDir dir;
    setenv("http_proxy", proxyUrl.c_str(), 1);
    EXPECT_EQ(Run({"get", "-P", dir.Str(), web.Url("/p1.bin")}).exitCode, 0);
    EXPECT_EQ(Run({"get", "-P", dir.Str(), "--no-proxy", web.Url("/p2.bin")}).exitCode, 0);
    setenv("no_proxy", "localhost,127.0.0.1", 1);
    EXPECT_EQ(Run({"get", "-P", dir.Str(), web.Url("/p3.bin")}).exitCode, 0);
    unsetenv("no_proxy");
    unsetenv("http_proxy");
    EXPECT_EQ(Run({"get", "-P", dir.Str(), "--proxy", proxyUrl, web.Url("/p4.bin")}).exitCode, 0);
    std::string log = proxy.Log();
    EXPECT_TRUE(Contains(log, "/p1.bin")) << log;
    EXPECT_FALSE(Contains(log, "/p2.bin")) << log;
    EXPECT_FALSE(Contains(log, "/p3.bin")) << log;
    EXPECT_TRUE(Contains(log, "/p4.bin")) << log;
    EXPECT_EQ(ReadFile(dir / "p4.bin"), "four");
    // Nothing of a run's proxy was stored.
    SRunResult shown = Run({"proxy", "show"});
    EXPECT_FALSE(Contains(shown.out, std::to_string(proxy.Port()))) << shown.out;
}

// basket drop fetches too: the protocol log with -v, no progress with -q, --referer as spelt by curl.
TEST_F(FamiliarOptionsTest, BasketDropTakesTheSameHabits) {
    TempDir folder;
    ASSERT_EQ(Run({"basket", "add", "Drops", folder.Str()}).exitCode, 0);
    SRunResult r = Run({"basket", "drop", "-v", "-q", "--referer", web.Url("/index.html"), "Drops", web.Url("/a.bin")});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "> GET /a.bin")) << r.err;
    EXPECT_TRUE(Contains(r.err, "> Referer: " + web.Url("/index.html"))) << r.err;
    EXPECT_EQ(Sha256Of((folder.Path() / "a.bin").string()), Served("a.bin"));
}

}  // namespace
}  // namespace plover::test
