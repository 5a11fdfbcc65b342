// The server of `plover ui` as the browser and other programs meet it: real HTTP against the real
// command in its own home.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

using Json = nlohmann::json;

class UiServer : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = FreeLoopbackPort();
        std::filesystem::create_directories(home_ / "downloads");
        plover_ = std::make_unique<CBackgroundPlover>(
            home_.Str(), std::vector<std::string>{"ui", "--listen", "127.0.0.1:" + std::to_string(port_)}, io_.Str());
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            std::string out = plover_->Output();
            size_t at = out.find("?token=");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos) {
                token_ = out.substr(at + 7, out.find('\n', at) - at - 7);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ASSERT_EQ(token_.size(), 64u) << plover_->Output();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(30);
    }

    httplib::Headers Auth() const { return {{"Authorization", "Bearer " + token_}}; }
    httplib::Result PostJson(const std::string& path, const std::string& body) {
        return client_->Post(path.c_str(), Auth(), body, "application/json");
    }
    Json Snapshot() {
        auto r = client_->Get("/api/snapshot", Auth());
        return r && r->status == 200 ? Json::parse(r->body) : Json();
    }

    TempDir home_, io_;
    int port_ = 0;
    std::string token_;
    std::unique_ptr<CBackgroundPlover> plover_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(UiServer, RefusesWithoutTheTokenOrFromAForeignSite) {
    struct Case {
        const char* name;
        httplib::Headers headers;
        int status;
    } cases[] = {
        {"no token", {}, 401},
        {"wrong token", {{"Authorization", "Bearer " + std::string(64, '0')}}, 401},
        {"wrong cookie", {{"Cookie", "plover_token=nope"}}, 401},
        {"token", Auth(), 200},
        {"cookie", {{"Cookie", "plover_token=" + token_}}, 200},
        {"foreign host", {{"Authorization", "Bearer " + token_}, {"Host", "evil.example:" + std::to_string(port_)}}, 421},
        {"foreign origin", {{"Authorization", "Bearer " + token_}, {"Origin", "http://evil.example"}}, 403},
    };
    for (const Case& c : cases) {
        auto r = client_->Get("/api/snapshot", c.headers);
        ASSERT_TRUE(r) << c.name;
        EXPECT_EQ(r->status, c.status) << c.name;
    }
    // A command without the token does nothing.
    auto r = client_->Post("/api/downloads", R"({"urls":["http://127.0.0.1:1/a"]})", "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 401);
    EXPECT_TRUE(Snapshot()["downloads"].empty());
}

TEST_F(UiServer, PrintedAddressSetsAStrictCookieAndThePageHasAPolicy) {
    auto r = client_->Get(("/?token=" + token_).c_str());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(r->get_header_value("Location"), "/");
    std::string cookie = r->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("plover_token=" + token_), std::string::npos);
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);
    auto page = client_->Get("/", {{"Cookie", "plover_token=" + token_}});
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("<script type=\"module\" src=\"/static/js/main.js\">"), std::string::npos);
    std::string csp = page->get_header_value("Content-Security-Policy");
    EXPECT_NE(csp.find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(csp.find("unsafe-inline"), std::string::npos);
    // Only the page's own files are served.
    EXPECT_EQ(client_->Get("/static/js/main.js", Auth())->status, 200);
    EXPECT_EQ(client_->Get("/static/../index.html", Auth())->status, 404);
    EXPECT_EQ(client_->Get("/static/js/nothing.js", Auth())->status, 404);
    // The token file is the user's alone.
    struct stat st{};
    ASSERT_EQ(stat((home_ / "ui-token").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(UiServer, BadCommandsAreRefusedWithAReason) {
    struct Case {
        const char* path;
        const char* body;
        int status;
    } cases[] = {
        {"/api/downloads", "{not json", 400},
        {"/api/downloads", "[1,2]", 400},
        {"/api/downloads", R"({"urls":"http://a/b"})", 400},
        {"/api/downloads", R"({"urls":[]})", 400},
        {"/api/downloads", R"({"urls":[42]})", 400},
        {"/api/downloads", R"({"urls":["mailto:me@example.com"]})", 422},
        {"/api/downloads", R"({"urls":["http://127.0.0.1:1/a"],"folder":"relative/path"})", 422},
        {"/api/downloads", R"({"urls":["http://127.0.0.1:1/a"],"folder":"/no/such/folder/here"})", 422},
        {"/api/downloads", R"({"urls":["http://127.0.0.1:1/a"],"priority":11})", 400},
        {"/api/downloads", R"({"urls":["http://127.0.0.1:1/a"],"paused":"yes"})", 400},
        {"/api/traffic", R"({"mode":4})", 400},
        {"/api/traffic", R"({"mode":"fast"})", 400},
        {"/api/downloads/12345/pause", "", 404},
    };
    for (const Case& c : cases) {
        auto r = PostJson(c.path, c.body);
        ASSERT_TRUE(r) << c.body;
        EXPECT_EQ(r->status, c.status) << c.body;
        Json answer = Json::parse(r->body, nullptr, false);
        EXPECT_TRUE(answer.is_object() && answer.contains("error")) << c.body << " -> " << r->body;
    }
    auto form = client_->Post("/api/traffic", Auth(), "mode=1", "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 415);
    EXPECT_TRUE(Snapshot()["downloads"].empty());
}

TEST_F(UiServer, DownloadsFinishAndTheStreamStartsWithASnapshot) {
    NginxServer web;
    WriteFile(web.Root() / "file.bin", PatternBytes(300000, 7));
    std::string folder = (home_ / "downloads").string();
    auto r = PostJson("/api/downloads", Json{{"urls", {web.Url("/file.bin")}}, {"folder", folder}}.dump());
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    std::string status;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until && status != "Finished") {
        Json s = Snapshot();
        if (s.is_object() && s["downloads"].size() == 1) status = s["downloads"][0]["status"];
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(status, "Finished");
    EXPECT_EQ(Sha256Of(folder + "/file.bin"), Sha256Of((web.Root() / "file.bin").string()));

    // A (re)connecting page gets the whole state first.
    std::string stream;
    client_->Get("/api/events", Auth(), [&](const char* data, size_t n) {
        stream.append(data, n);
        return stream.find("\n\n") == std::string::npos;
    });
    ASSERT_EQ(stream.rfind("event: snapshot\ndata: ", 0), 0u) << stream.substr(0, 200);
    Json snap = Json::parse(stream.substr(22, stream.find("\n\n") - 22));
    EXPECT_EQ(snap["downloads"][0]["name"], "file.bin");
    EXPECT_TRUE(snap["log"].is_array());

    // Deleting with the file takes both.
    int id = snap["downloads"][0]["id"];
    std::string base = "/api/downloads/" + std::to_string(id);
    EXPECT_EQ(PostJson(base + "/priority", R"({"priority":3})")->status, 200);
    EXPECT_EQ(PostJson(base + "/priority", R"({"priority":-1})")->status, 400);
    EXPECT_EQ(PostJson(base + "/deleteWithFile", "")->status, 200);
    auto gone = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < gone && !Snapshot()["downloads"].empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(Snapshot()["downloads"].empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/file.bin"));

    // Exit from the menu ends the program in order.
    auto exit = PostJson("/api/exit", "");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->status, 200);
    SRunResult end = plover_->Wait(60000);
    EXPECT_EQ(end.exitCode, 0) << end.err;
    EXPECT_NE(end.out.find("Plover has stopped"), std::string::npos) << end.out;
}

// An ftp:// address added from the page arrives whole, and the list names its server.
TEST_F(UiServer, FtpDownloadFinishes) {
    VsftpdServer ftp;
    WriteFile(ftp.Root() / "pub/scan.tif", PatternBytes(700000, 5));
    std::string folder = (home_ / "downloads").string();
    auto r = PostJson("/api/downloads", Json{{"urls", {ftp.FtpUrl("/pub/scan.tif")}}, {"folder", folder}}.dump());
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    Json d;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < until && !(d.is_object() && d["status"] == "Finished")) {
        Json s = Snapshot();
        if (s.is_object() && s["downloads"].size() == 1) d = s["downloads"][0];
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_TRUE(d.is_object()) << Snapshot().dump();
    EXPECT_EQ(d["status"], "Finished") << d.dump();
    EXPECT_EQ(d["name"], "scan.tif");
    EXPECT_EQ(d["server"], "127.0.0.1");
    EXPECT_EQ(d["size"], 700000);
    EXPECT_EQ(Sha256Of(folder + "/scan.tif"), Sha256Of((ftp.Root() / "pub/scan.tif").string()));
}

TEST_F(UiServer, LoginRequestAnsweredAndStoredForTheSite) {
    NginxServer web;
    WriteFile(web.Root() / "auth/one.bin", PatternBytes(50000, 1));
    WriteFile(web.Root() / "auth/two.bin", PatternBytes(60000, 2));
    std::string folder = (home_ / "downloads").string();
    auto add = [&](const std::string& path) {
        auto r = PostJson("/api/downloads", Json{{"urls", {web.Url(path)}}, {"folder", folder}}.dump());
        EXPECT_TRUE(r && r->status == 200);
        return r ? Json::parse(r->body)["added"][0].get<int>() : -1;
    };
    auto waitFor = [&](int id, const std::function<bool(const Json&)>& done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            Json snap = Snapshot();
            for (const Json& d : snap["downloads"])
                if (d["id"] == id && done(d)) return d;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return Json();
    };
    int one = add("/auth/one.bin");
    Json asked = waitFor(one, [](const Json& d) { return d["waitForUser"] == true; });
    ASSERT_TRUE(asked.is_object()) << Snapshot().dump();
    EXPECT_EQ(asked["status"], "Wait for user");
    EXPECT_EQ(asked["waitReason"], "login");
    auto path = "/api/downloads/" + std::to_string(one) + "/login";
    EXPECT_EQ(PostJson(path, R"({"user":"user","password":""})")->status, 400);
    auto r = PostJson(path, R"({"user":"user","password":"secret","store":true})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_TRUE(waitFor(one, [](const Json& d) { return d["status"] == "Finished"; }).is_object());
    // The stored login goes with the site's next download: no question this time.
    int two = add("/auth/two.bin");
    Json second = waitFor(two, [](const Json& d) { return d["status"] == "Finished" || d["waitForUser"] == true; });
    EXPECT_EQ(second["status"], "Finished");
    EXPECT_EQ(Sha256Of(folder + "/two.bin"), Sha256Of((web.Root() / "auth/two.bin").string()));
}

TEST_F(UiServer, FinishedFileMovesToAnotherFolderAndItsFolderIsAnswered) {
    NginxServer web;
    WriteFile(web.Root() / "photo.jpg", PatternBytes(2000000, 3));
    std::string folder = (home_ / "downloads").string(), other = (home_ / "other").string();
    std::filesystem::create_directories(other);
    auto r = PostJson("/api/downloads", Json{{"urls", {web.Url("/photo.jpg")}}, {"folder", folder}}.dump());
    ASSERT_TRUE(r && r->status == 200);
    int id = Json::parse(r->body)["added"][0];
    std::string base = "/api/downloads/" + std::to_string(id);
    auto waitFor = [&](const std::function<bool(const Json&)>& done) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < until) {
            Json snap = Snapshot();
            if (snap["downloads"].size() == 1 && done(snap["downloads"][0])) return snap;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return Json();
    };
    Json snap = waitFor([](const Json& d) { return d["status"] == "Finished"; });
    ASSERT_TRUE(snap.is_object()) << Snapshot().dump();
    // A picture falls in the "Pictures" category of the list's filter.
    int category = snap["downloads"][0]["category"];
    ASSERT_GE(category, 0);
    EXPECT_EQ(snap["categories"][size_t(category)], "Pictures");

    struct Case {
        const char* body;
        int status;
    } refused[] = {
        {"{}", 400},
        {R"({"folder":"relative"})", 422},
        {R"({"folder":"/no/such/folder/here"})", 422},
        {R"({"folder":"/tmp/a|b"})", 422},
    };
    for (const Case& c : refused) EXPECT_EQ(PostJson(base + "/move", c.body)->status, c.status) << c.body;
    // Moving onto a file of the same name would destroy it: refused.
    std::filesystem::create_directories(home_ / "taken");
    WriteFile(home_ / "taken" / "photo.jpg", "keep me");
    EXPECT_EQ(PostJson(base + "/move", Json{{"folder", (home_ / "taken").string()}}.dump())->status, 409);

    auto move = PostJson(base + "/move", Json{{"folder", other}}.dump());
    ASSERT_TRUE(move);
    ASSERT_EQ(move->status, 200) << move->body;
    snap = waitFor([&](const Json& d) { return d["status"] == "Finished" && d["folder"] == other; });
    ASSERT_TRUE(snap.is_object()) << Snapshot().dump();
    EXPECT_EQ(Sha256Of(other + "/photo.jpg"), Sha256Of((web.Root() / "photo.jpg").string()));
    EXPECT_FALSE(std::filesystem::exists(folder + "/photo.jpg"));
    EXPECT_EQ(ReadFile(home_ / "taken" / "photo.jpg"), "keep me");

    auto where = PostJson(base + "/folder", "");
    ASSERT_TRUE(where && where->status == 200);
    EXPECT_EQ(Json::parse(where->body)["folder"], other);
    EXPECT_EQ(Json::parse(where->body)["path"], other + "/photo.jpg");
}

TEST_F(UiServer, DownloadsMoveUpAndDownTheList) {
    auto r = PostJson("/api/downloads",
                      R"({"urls":["http://127.0.0.1:1/a","http://127.0.0.1:1/b","http://127.0.0.1:1/c"],"paused":true})");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200) << r->body;
    Json ids = Json::parse(r->body)["added"];
    auto order = [&] {
        std::vector<int> out;
        Json snap = Snapshot();
        for (const Json& d : snap["downloads"]) out.push_back(d["id"]);
        return out;
    };
    auto move = [&](int id, const char* way) {
        auto m = PostJson("/api/downloads/" + std::to_string(id) + "/" + way, "");
        return m && m->status == 200 ? Json::parse(m->body)["moved"].get<bool>() : false;
    };
    int a = ids[0], b = ids[1], c = ids[2];
    EXPECT_EQ(order(), (std::vector<int>{a, b, c}));
    EXPECT_TRUE(move(c, "up"));
    EXPECT_EQ(order(), (std::vector<int>{a, c, b}));
    EXPECT_TRUE(move(a, "down"));
    EXPECT_EQ(order(), (std::vector<int>{c, a, b}));
    EXPECT_FALSE(move(c, "up"));  // already first
    EXPECT_EQ(order(), (std::vector<int>{c, a, b}));
}

TEST_F(UiServer, ManyWindowsFollowTheSameChange) {
    constexpr int kWindows = 12;
    std::atomic<int> sawMode{0};
    std::vector<std::thread> windows;
    std::atomic<int> connected{0};
    for (int i = 0; i < kWindows; ++i)
        windows.emplace_back([&] {
            httplib::Client c("127.0.0.1", port_);
            c.set_read_timeout(60);
            std::string stream;
            bool counted = false;
            c.Get("/api/events", Auth(), [&](const char* data, size_t n) {
                stream.append(data, n);
                if (!counted && stream.find("event: snapshot") != std::string::npos) {
                    counted = true;
                    ++connected;
                }
                if (stream.find("\"mode\":1") != std::string::npos) {
                    ++sawMode;
                    return false;
                }
                return true;
            });
        });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (connected < kWindows && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(connected, kWindows);
    // Commands still get through while every window holds its stream.
    auto r = PostJson("/api/traffic", R"({"mode":1})");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    for (auto& w : windows) w.join();
    EXPECT_EQ(sawMode, kWindows);
    EXPECT_EQ(Snapshot()["traffic"]["mode"], 1);
}

TEST_F(UiServer, EndsInOrderOnSigterm) {
    plover_->Signal(SIGTERM);
    SRunResult end = plover_->Wait(60000);
    EXPECT_EQ(end.exitCode, 0) << end.err;
    EXPECT_NE(end.out.find("Plover has stopped"), std::string::npos) << end.out;
    EXPECT_FALSE(std::filesystem::exists(home_ / "ui-address"));
}

}  // namespace
}  // namespace plover::test
