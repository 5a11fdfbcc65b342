// The other commands of a home while `plover ui` runs there: they send their work to it through
// its server and print what they print alone; an address left by an instance that died is
// ignored.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

constexpr const char* kThrough = "Plover is running: the downloads were added to its list.";

std::string Bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + 7) & 0xFF);
    return s;
}

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(RemoteCommand, GetGoesThroughTheRunningPlover) {
    NginxServer web;
    std::string body = Bytes(200000);
    WriteFile(web.Root() / "a.bin", body);
    TempDir home, io;
    std::filesystem::create_directories(home / "into");
    int port = FreeLoopbackPort();
    CBackgroundPlover ui(home.Str(), {"ui", "--listen", "127.0.0.1:" + std::to_string(port)}, io.Str());
    std::string token;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (token.empty() && std::chrono::steady_clock::now() < until) {
        std::string out = ui.Output();
        size_t at = out.find("?token=");
        if (at != std::string::npos && out.find('\n', at) != std::string::npos)
            token = out.substr(at + 7, out.find('\n', at) - at - 7);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(token.empty()) << ui.Output();

    SRunResult r = RunPlover(home.Str(), {"get", web.Url("/a.bin"), web.Url("/missing.bin"), "--folder",
                                          (home / "into").string()});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;  // one of the two failed
    EXPECT_NE(r.err.find(kThrough), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("a.bin: 100% (195.3 KiB of 195.3 KiB), Finished"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("missing.bin: File not found (" + web.Url("/missing.bin") + ")"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAll(home / "into" / "a.bin"), body);

    // The page sees the downloads in the running Plover's list.
    httplib::Client client("127.0.0.1", port);
    auto snapshot = client.Get("/api/snapshot", {{"Authorization", "Bearer " + token}});
    ASSERT_TRUE(snapshot && snapshot->status == 200);
    auto downloads = nlohmann::json::parse(snapshot->body)["downloads"];
    ASSERT_EQ(downloads.size(), 2u);
    ui.Signal(SIGTERM);
    EXPECT_EQ(ui.Wait(60000).exitCode, 0);
}

TEST(RemoteCommand, CollectRunsInTheRunningPlover) {
    NginxServer web;
    std::string html = "<html><body>";
    for (int i = 1; i <= 3; ++i) {
        WriteFile(web.Root() / ("p" + std::to_string(i) + ".jpg"), Bytes(10000 + size_t(i)));
        WriteFile(web.Root() / ("t" + std::to_string(i) + ".jpg"), Bytes(500));
        html += "<a href=\"p" + std::to_string(i) + ".jpg\"><img src=\"t" + std::to_string(i) + ".jpg\"></a>";
    }
    WriteFile(web.Root() / "gallery.html", html + "</body></html>");
    TempDir home, io;
    ASSERT_EQ(RunPlover(home.Str(), {"install"}).exitCode, 0);
    int port = FreeLoopbackPort();
    CBackgroundPlover ui(home.Str(), {"ui", "--listen", "127.0.0.1:" + std::to_string(port)}, io.Str());
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ui.Output().find("?token=") == std::string::npos && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(ui.Output().find("?token="), std::string::npos) << ui.Output();

    SRunResult r = RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Art", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\"downloaded\":3"), std::string::npos) << r.out;
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(std::filesystem::exists(home / "Plover Baskets" / "Art" / ("p" + std::to_string(i) + ".jpg"))) << i;
    EXPECT_EQ(web.RequestCount("/gallery.html"), 1);  // scanned once, by the running Plover

    r = RunPlover(home.Str(), {"collect", web.Url("/gallery.html"), "--basket", "Nope"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("plover: no basket named \"Nope\""), std::string::npos) << r.err;
    ui.Signal(SIGTERM);
    EXPECT_EQ(ui.Wait(60000).exitCode, 0);
}

TEST(RemoteCommand, AStaleAddressRunsAlone) {
    NginxServer web;
    WriteFile(web.Root() / "a.bin", Bytes(1000));
    TempDir home;
    std::filesystem::create_directories(home / "into");
    // What an instance that was killed leaves behind: its address, with nobody listening there.
    {
        std::ofstream out(home / "ui-address");
        out << "http://127.0.0.1:" << FreeLoopbackPort() << "/?token=" << std::string(64, 'a') << "\n";
    }
    SRunResult r = RunPlover(home.Str(), {"get", web.Url("/a.bin"), "--folder", (home / "into").string()});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err.find(kThrough), std::string::npos) << r.err;
    EXPECT_EQ(std::filesystem::file_size(home / "into" / "a.bin"), 1000u);
}

}  // namespace
}  // namespace plover::test
