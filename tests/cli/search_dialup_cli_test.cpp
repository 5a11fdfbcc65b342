// plover search and plover dialup through the real executable: the search sites kept between
// runs, a search whose escaped address nginx receives and whose result page is scanned, then
// collected into a basket; the
// dial-up commands on a machine without NetworkManager and against a stand-in nmcli on PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

// PATH for the plover runs of one test (the test process is single-threaded between runs).
class CScopedPath {
public:
    explicit CScopedPath(const std::string& path) {
        const char* old = std::getenv("PATH");
        old_ = old ? old : "";
        setenv("PATH", path.c_str(), 1);
    }
    ~CScopedPath() { setenv("PATH", old_.c_str(), 1); }

private:
    std::string old_;
};

TEST(SearchCli, SitesAreKeptResetAndSearched) {
    TempDir home;
    NginxServer web;
    WriteFile(web.Root() / "find", "<html><head><title>Found</title></head><body>"
                                   "<a href=\"big.jpg\"><img src=\"small.jpg\"></a></body></html>");

    SRunResult r = RunPlover(home.Str(), {"search", "add", "www.local.example", web.Url("/find?q=_TEXT_TO_SEARCH_&n=1")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunPlover(home.Str(), {"search", "list"});
    EXPECT_NE(r.out.find("5  www.local.example"), std::string::npos) << r.out;

    r = RunPlover(home.Str(), {"search", "5", "red car"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Found"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(web.Url("/big.jpg")), std::string::npos) << r.out;
    EXPECT_NE(web.AccessLog().find("GET /find?q=red%20car&n=1 200"), std::string::npos) << web.AccessLog();

    // The result page's picture collected into a basket.
    WriteFile(web.Root() / "big.jpg", "not really a jpeg, but a picture all the same");
    TempDir files;
    ASSERT_EQ(RunPlover(home.Str(), {"basket", "add", "Found", files.Str()}).exitCode, 0);
    r = RunPlover(home.Str(), {"search", "5", "red car", "--basket", "Found"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadFile(files.Path() / "big.jpg"), "not really a jpeg, but a picture all the same");
    EXPECT_EQ(RunPlover(home.Str(), {"search", "5", "red car", "--basket", "Nowhere"}).exitCode, 1);

    r = RunPlover(home.Str(), {"search", "reset"});  // no terminal: refused
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Do you really want to reset the searching engines?"), std::string::npos) << r.err;
    r = RunPlover(home.Str(), {"search", "reset", "--yes"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunPlover(home.Str(), {"search", "list"});
    EXPECT_NE(r.out.find("4  www."), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("5  "), std::string::npos) << r.out;
    EXPECT_EQ(RunPlover(home.Str(), {"search", "5", "red car"}).exitCode, 1);

    RunPlover(home.Str(), {"search", "add", "www.bare.example"});  // the format is the marker alone
    r = RunPlover(home.Str(), {"search", "5", "x"});
    EXPECT_EQ(r.exitCode, 2) << r.err;  // "x" is no address to scan
}

TEST(DialUpCli, WithoutNetworkManagerNoDialerIsAvailable) {
    TempDir home, empty;
    CScopedPath path(empty.Str());
    SRunResult r = RunPlover(home.Str(), {"dialup", "status"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("no dialer available"), std::string::npos) << r.out;
    r = RunPlover(home.Str(), {"dialup", "use", "isp"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = RunPlover(home.Str(), {"dialup", "dial"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no dialer available"), std::string::npos) << r.err;
}

TEST(DialUpCli, DialsAndHangsUpThroughNmcli) {
    TempDir home, bin;
    const std::string d = bin.Str();
    WriteFile(bin / "nmcli",
              "#!/bin/sh\n"
              "case \"$*\" in\n"
              "'-t -f RUNNING general') echo running ;;\n"
              "'-t -f NAME connection show') printf 'isp\\nbad\\n' ;;\n"
              "'-t connection show id isp'|'-t connection show id bad') printf 'connection.type:gsm\\n' ;;\n"
              "'-t -f NAME,STATE connection show --active') [ -f '" + d + "/up' ] && echo 'isp:activated'; true ;;\n"
              "'--wait 90 connection up id isp') touch '" + d + "/up' ;;\n"
              "'connection down id isp') rm -f '" + d + "/up' ;;\n"
              "*) exit 4 ;;\n"
              "esac\n");
    chmod((bin / "nmcli").c_str(), 0700);
    CScopedPath path(d + ":/usr/bin:/bin");

    EXPECT_EQ(RunPlover(home.Str(), {"dialup", "use", "nowhere"}).exitCode, 1);
    ASSERT_EQ(RunPlover(home.Str(), {"dialup", "use", "isp"}).exitCode, 0);
    SRunResult r = RunPlover(home.Str(), {"dialup", "dial"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Dialing isp\nDial-Up connection established\n");
    r = RunPlover(home.Str(), {"dialup", "status"});
    EXPECT_NE(r.out.find("Connection:  up"), std::string::npos) << r.out;
    r = RunPlover(home.Str(), {"dialup", "hangup"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Dial-Up connection disconnected\n");
    r = RunPlover(home.Str(), {"dialup", "status"});
    EXPECT_NE(r.out.find("Connection:  down"), std::string::npos) << r.out;

    // With automatic dialling on, the command's own request is the one that runs (and the
    // setting is kept).
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "AutoDial/On", "1"}).exitCode, 0);
    ASSERT_EQ(RunPlover(home.Str(), {"dialup", "use", "bad"}).exitCode, 0);
    r = RunPlover(home.Str(), {"dialup", "dial", "--attempts", "2", "--interval", "1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Dialing bad\nDial-Up failed\nDialing bad\nDial-Up failed\n");
    r = RunPlover(home.Str(), {"settings", "get", "AutoDial/On"});
    EXPECT_EQ(r.out, "1\n");
}

}  // namespace
}  // namespace plover::test
