// Kept connections as a user meets them: a scan of a generated gallery of several pages on nginx
// carries its requests on fewer connections than requests, and plover get of several files from a
// server that closes its connections after two requests, or after a second of idling, still
// brings every file byte for byte, with the reuse shown by --verbose; the probe's answer is used as
// the body: a small file is one request, a larger one asks for its first section only once.
#include <gtest/gtest.h>

#include <sstream>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

TEST(KeepAliveCliTest, AScanOfSeveralPagesSharesConnections) {
    NginxServer web;
    std::filesystem::create_directories(web.Root() / "small");
    for (int p = 1; p <= 6; ++p) {
        std::string page = "<html><head><title>Page " + std::to_string(p) + "</title></head><body>\n";
        for (int i = 1; i <= 6; ++i) {
            std::string n = std::to_string(p) + "_" + std::to_string(i) + ".jpg";
            page += "<a href=\"big/" + n + "\"><img src=\"small/" + n + "\" width=100></a>\n";
            WriteFile(web.Root() / "small" / n, PatternBytes(3000 + size_t(i), uint32_t(p * 10 + i)));
        }
        if (p < 6) page += "<a href=\"page" + std::to_string(p + 1) + ".html\">" + std::to_string(p + 1) + "</a>\n";
        WriteFile(web.Root() / ("page" + std::to_string(p) + ".html"), page + "</body></html>\n");
    }
    TempDir home, cache;
    ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);
    SRunResult r = RunPlover(home.Str(), {"scan", web.Url("/page1.html"), "--profile", "Scan Mixed Gallery", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(LastJsonLine(r.out)["pagesScanned"], 6) << r.out;
    EXPECT_GE(web.RequestsLogged(), 12) << web.ConnectionLog();  // each page and its thumbnail's picture
    EXPECT_LT(web.ConnectionsUsed(), web.RequestsLogged()) << web.ConnectionLog();
    EXPECT_LE(web.ConnectionsUsed(), 4) << web.ConnectionLog();  // a handful, not one per picture
}

TEST(KeepAliveCliTest, GetThroughAServerThatClosesItsConnectionsBringsEveryFileWhole) {
    NginxOptions options;
    options.keepAlive = "keepalive_requests 2;\n  keepalive_timeout 1;";
    NginxServer web(options);
    std::vector<std::string> args = {"get", "--verbose", "--folder"};
    TempDir home, out;
    args.push_back(out.Str());
    for (int i = 0; i < 7; ++i) {
        std::string n = "f" + std::to_string(i) + ".bin";
        WriteFile(web.Root() / n, PatternBytes(5000 + size_t(i) * 70000, uint32_t(i)));
        args.push_back(web.Url("/" + n));
    }
    SRunResult r = RunPlover(home.Str(), args);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (int i = 0; i < 7; ++i) {
        std::string n = "f" + std::to_string(i) + ".bin";
        EXPECT_EQ(Sha256Of(out.Str() + "/" + n), Sha256Of((web.Root() / n).string())) << n;
    }
    EXPECT_NE(r.err.find("(reused connection)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("> Connection: keep-alive"), std::string::npos) << r.err;
    EXPECT_LT(web.ConnectionsUsed(), web.RequestsLogged()) << web.ConnectionLog();
}

TEST(KeepAliveCliTest, TheProbesAnswerIsTheBodyOfASmallFileAndTheFirstSectionOfALargerOne) {
    NginxServer web;
    WriteFile(web.Root() / "small.bin", PatternBytes(4000, 1));
    WriteFile(web.Root() / "large.bin", PatternBytes(600000, 2));
    TempDir home, out;
    SRunResult r = RunPlover(home.Str(), {"get", "--mode", "0", "--folder", out.Str(), web.Url("/small.bin"),
                                          web.Url("/large.bin")});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (const char* n : {"small.bin", "large.bin"})
        EXPECT_EQ(Sha256Of(out.Str() + "/" + n), Sha256Of((web.Root() / n).string())) << n;
    // "METHOD URI STATUS RANGE BYTES" a request; RANGE is "-" without one.
    std::istringstream log(web.AccessLog());
    std::string method, uri, status, range, bytes;
    int small = 0, large = 0, largeFromZero = 0;
    while (log >> method >> uri >> status >> range >> bytes) {
        small += uri == "/small.bin";
        large += uri == "/large.bin";
        largeFromZero += uri == "/large.bin" && (range == "-" || range.rfind("bytes=0-", 0) == 0);
    }
    EXPECT_EQ(small, 1) << web.AccessLog();
    EXPECT_GE(large, 2) << "fetched in sections: " << web.AccessLog();
    EXPECT_EQ(largeFromZero, 1) << "the first section came with the probe: " << web.AccessLog();
}

}  // namespace
}  // namespace plover::test
