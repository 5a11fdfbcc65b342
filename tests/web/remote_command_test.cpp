// The other commands of a home while `plover ui` runs there: they send their work to it through
// its server and print what they print alone; an address left by an instance that died is
// ignored.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "running_ui.h"
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

// A gallery page: two thumbnails that link to pictures, and a link to another page.
void WriteGallery(NginxServer& web) {
    std::string html = "<html><head><title>Gallery</title></head><body>";
    for (int i = 1; i <= 2; ++i) {
        WriteFile(web.Root() / ("p" + std::to_string(i) + ".jpg"), Bytes(8000 + size_t(i)));
        WriteFile(web.Root() / ("t" + std::to_string(i) + ".jpg"), Bytes(400));
        html += "<a href=\"p" + std::to_string(i) + ".jpg\"><img src=\"t" + std::to_string(i) + ".jpg\"></a>";
    }
    WriteFile(web.Root() / "gallery.html", html + "<a href=\"more.html\">More</a></body></html>");
}

// JSON lines without the small pictures' cache files (a second scan may store them anew).
std::vector<nlohmann::json> WithoutCacheFiles(const std::string& out) {
    std::vector<nlohmann::json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
        if (j.is_object()) j.erase("thumbnailFile");
        lines.push_back(j);
    }
    return lines;
}

class RemoteScan : public RunningUi {
protected:
    void BeforeStart() override {
        WriteGallery(web_);
        alone_ = RunPlover(home_.Str(), {"scan", web_.Url("/gallery.html")});
        aloneJson_ = RunPlover(home_.Str(), {"scan", "--json", "--depth", "0", web_.Url("/gallery.html")});
        ASSERT_EQ(RunPlover(home_.Str(), {"search", "add", "Local", web_.Url("/gallery.html?q=_TEXT_TO_SEARCH_")}).exitCode, 0);
        std::string sites = RunPlover(home_.Str(), {"search", "list", "--json"}).out;
        site_ = std::to_string(std::count(sites.begin(), sites.end(), '\n'));
        aloneSearch_ = RunPlover(home_.Str(), {"search", site_, "red", "car"});
        ASSERT_EQ(RunPlover(home_.Str(), {"search", "add", "Odd", "gopher://127.0.0.1:1/?q=_TEXT_TO_SEARCH_"}).exitCode, 0);
        aloneOdd_ = RunPlover(home_.Str(), {"search", std::to_string(std::stoi(site_) + 1), "red"});
    }
    NginxServer web_;
    SRunResult alone_, aloneJson_, aloneSearch_, aloneOdd_;
    std::string site_;  // the number of the search site on nginx
};

TEST_F(RemoteScan, PrintsWhatARunAlonePrintsAndTheScanIsADocumentThere) {
    ASSERT_EQ(alone_.exitCode, 0) << alone_.err;
    ASSERT_NE(alone_.out.find("2 thumbnails, 0 large pictures, 1 page links."), std::string::npos) << alone_.out;
    SRunResult through = RunPlover(home_.Str(), {"scan", web_.Url("/gallery.html")});
    EXPECT_EQ(through.exitCode, 0) << through.err;
    EXPECT_EQ(through.out, alone_.out);
    SRunResult json = RunPlover(home_.Str(), {"scan", "--json", "--depth", "0", web_.Url("/gallery.html")});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(WithoutCacheFiles(json.out), WithoutCacheFiles(aloneJson_.out)) << json.out;
    // The scans ran in the running Plover, where the page shows them.
    auto [status, docs] = Get("/api/scan");
    ASSERT_EQ(status, 200);
    ASSERT_EQ(docs["docs"].size(), 2u) << docs.dump();  // (the search below adds a third)
    EXPECT_EQ(docs["docs"][0]["state"], "done");

    // A search: the running Plover builds the address from its search site.
    ASSERT_EQ(aloneSearch_.exitCode, 0) << aloneSearch_.err;
    SRunResult search = RunPlover(home_.Str(), {"search", site_, "red", "car"});
    EXPECT_EQ(search.exitCode, 0) << search.err;
    EXPECT_EQ(search.out, aloneSearch_.out);
    EXPECT_EQ(search.err, aloneSearch_.err);
    EXPECT_NE(search.err.find("Searching Local for \"red car\": " + web_.Url("/gallery.html?q=red")), std::string::npos)
        << search.err;
    search = RunPlover(home_.Str(), {"search", "99", "red"});
    EXPECT_EQ(search.exitCode, 1);
    EXPECT_EQ(search.err, "plover: no search site 99 (plover search list shows them)\n");
    // A site whose address is neither HTTP nor FTP is a usage error, as alone.
    ASSERT_EQ(aloneOdd_.exitCode, 2) << aloneOdd_.err;
    search = RunPlover(home_.Str(), {"search", std::to_string(std::stoi(site_) + 1), "red"});
    EXPECT_EQ(search.exitCode, 2) << search.err;
    EXPECT_NE(search.err.find("plover: not an HTTP or FTP address: gopher://127.0.0.1:1/?q=red"), std::string::npos)
        << search.err;

    SRunResult refused = RunPlover(home_.Str(), {"scan", "--profile", "Nope", web_.Url("/gallery.html")});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "plover: no scan profile \"Nope\" (see plover profiles list)\n");
    SRunResult failed = RunPlover(home_.Str(), {"scan", web_.Url("/missing.html")});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("(" + web_.Url("/missing.html") + ")"), std::string::npos) << failed.err;
}

class RemoteBasket : public RunningUi {};

TEST_F(RemoteBasket, AddDropAndMoveWorkThroughTheRunningPlover) {
    NginxServer web;
    WriteFile(web.Root() / "a.jpg", Bytes(3000));
    std::filesystem::create_directories(home_ / "art");
    const std::string art = (home_ / "art").string();
    SRunResult r = RunPlover(home_.Str(), {"basket", "add", "Art", art});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Basket \"Art\" collects into " + art + "\n");
    std::filesystem::create_directories(home_ / "other");
    r = RunPlover(home_.Str(), {"basket", "add", "ART", (home_ / "other").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "plover: a basket named \"Art\" exists already\n");
    auto [status, baskets] = Get("/api/baskets");
    ASSERT_EQ(status, 200);
    ASSERT_EQ(baskets["baskets"].size(), 1u);  // the running Plover has it

    r = RunPlover(home_.Str(), {"basket", "drop", "art", web.Url("/a.jpg"), "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(ReadAll(home_ / "art" / "a.jpg"), Bytes(3000));
    EXPECT_EQ(web.RequestCount("/a.jpg"), 1);
    r = RunPlover(home_.Str(), {"basket", "drop", "Nope", web.Url("/a.jpg")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "plover: no basket named \"Nope\" (see plover basket list)\n");

    // A file from outside the baskets lands in the basket's folder; a second of that name is skipped.
    std::filesystem::create_directories(io_ / "in");
    WriteFile(io_ / "in" / "b.jpg", Bytes(700));
    r = RunPlover(home_.Str(), {"basket", "move", (io_ / "in" / "b.jpg").string(), "--to", "Art"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Moved " + (io_ / "in" / "b.jpg").string() + " -> " + art + "/b.jpg\n1 moved, 0 skipped, 0 failed.\n");
    EXPECT_EQ(ReadAll(home_ / "art" / "b.jpg"), Bytes(700));
    EXPECT_FALSE(std::filesystem::exists(io_ / "in" / "b.jpg"));
    WriteFile(io_ / "in" / "b.jpg", Bytes(10));
    r = RunPlover(home_.Str(), {"basket", "move", (io_ / "in" / "b.jpg").string(), "--to", "Art", "--on-conflict", "skip"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("0 moved, 1 skipped, 0 failed.\n"), std::string::npos) << r.out;
    EXPECT_EQ(ReadAll(home_ / "art" / "b.jpg"), Bytes(700));

    r = RunPlover(home_.Str(), {"basket", "remove", "Art", "--yes"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Removed the basket \"Art\"; its folder " + art + " stays.\n");
    // A command that needs the home to itself says why it stops.
    r = RunPlover(home_.Str(), {"sites", "list"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("does not work through the running Plover"), std::string::npos) << r.err;
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

    WriteGallery(web);
    r = RunPlover(home.Str(), {"scan", web.Url("/gallery.html")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("2 thumbnails, 0 large pictures, 1 page links."), std::string::npos) << r.out;
    std::filesystem::create_directories(home / "art");
    r = RunPlover(home.Str(), {"basket", "add", "Art", (home / "art").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = RunPlover(home.Str(), {"basket", "list"});
    EXPECT_EQ(r.out, "Art\t" + (home / "art").string() + "\n");
}

}  // namespace
}  // namespace plover::test
