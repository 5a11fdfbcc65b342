// The baskets pane's, the basket window's and the viewer's commands as the page meets them: real
// HTTP against `plover ui` in its own home, with pictures that came into a basket through real
// downloads from nginx so that the download history knows them.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "image/bitmap.h"
#include "image/png_writer.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

// A w x h picture of one colour, as PNG bytes.
std::string Png(uint32_t w, uint32_t h, uint8_t shade) {
    SBitmap bmp;
    bmp.Allocate(w, h);
    for (size_t i = 0; i < bmp.pixels.size(); i += 4) bmp.pixels[i] = shade, bmp.pixels[i + 1] = 90, bmp.pixels[i + 3] = 255;
    std::vector<uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(EncodePng(bmp, bytes, error)) << error;
    return std::string(bytes.begin(), bytes.end());
}

bool WaitUntil(const std::function<bool()>& done, int seconds = 60) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class BasketApi : public ::testing::Test {
protected:
    std::string Folder(const std::string& name) {
        fs::create_directories(files_ / name);
        return (files_ / name).string();
    }
    void Cli(const std::vector<std::string>& args) {
        SRunResult r = RunPlover(home_.Str(), args);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }
    void StartUi() {
        port_ = FreeLoopbackPort();
        plover_ = std::make_unique<CBackgroundPlover>(
            home_.Str(), std::vector<std::string>{"ui", "--listen", "127.0.0.1:" + std::to_string(port_)}, io_.Str());
        ASSERT_TRUE(WaitUntil([&] {
            std::string out = plover_->Output();
            size_t at = out.find("?token=");
            if (at == std::string::npos || out.find('\n', at) == std::string::npos) return false;
            token_ = out.substr(at + 7, out.find('\n', at) - at - 7);
            return true;
        })) << plover_->Output();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port_);
        client_->set_read_timeout(60);
    }
    httplib::Headers Auth() const { return {{"Authorization", "Bearer " + token_}}; }
    std::pair<int, Json> Get(const std::string& path) {
        auto r = client_->Get(path.c_str(), Auth());
        if (!r) return {0, Json()};
        return {r->status, Json::parse(r->body, nullptr, false)};
    }
    std::pair<int, Json> Post(const std::string& path, const Json& body) {
        auto r = client_->Post(path.c_str(), Auth(), body.dump(), "application/json");
        if (!r) return {0, Json()};
        return {r->status, Json::parse(r->body, nullptr, false)};
    }
    // What a scan would show of the address: the file the history knows, or "".
    std::string HistoryPath(const std::string& url) {
        auto [status, j] = Get("/api/history/address?address=" + httplib::detail::encode_query_param(url));
        EXPECT_EQ(status, 200);
        return j.value("path", std::string("?"));
    }
    // Starts a move and answers its questions in turn; returns the last state and the questions.
    Json Move(const std::vector<std::string>& files, const std::string& folder, const std::vector<std::string>& answers,
              std::vector<std::string>* asked) {
        auto [status, started] = Post("/api/baskets/move", {{"files", files}, {"folder", folder}});
        EXPECT_EQ(status, 200) << started.dump();
        uint64_t job = started.value("job", 0);
        Json state;
        EXPECT_TRUE(WaitUntil([&] {
            state = Get("/api/moves").second["job"];
            if (state["id"] != job) return false;
            if (state["phase"] == "done") return true;
            // Each question once: the job waits for its answer before it asks the next.
            if (state["phase"] == "conflict" && (asked->empty() || asked->back() != state["conflict"]["target"])) {
                asked->push_back(state["conflict"]["target"]);
                std::string answer = asked->size() <= answers.size() ? answers[asked->size() - 1] : "Skip";
                EXPECT_EQ(Post("/api/moves/" + std::to_string(job) + "/answer", {{"answer", answer}}).first, 200);
            }
            return false;
        })) << state.dump();
        return state;
    }

    TempDir home_, io_, files_;
    int port_ = 0;
    std::string token_;
    std::unique_ptr<CBackgroundPlover> plover_;
    std::unique_ptr<httplib::Client> client_;
};

// Each question of the move job gets its answer: "Overwrite" and "Skip" for one file, the "All"
// answers for the rest of the job, which asks nothing more.
TEST_F(BasketApi, MoveJobAnswersEachConflict) {
    std::string root = Folder("Pictures");
    Cli({"basket", "add", "Pictures", root});
    StartUi();
    struct Case {
        const char* name;
        std::vector<std::string> answers;
        size_t questions;
        std::vector<bool> replaced;  // for a, b, c: the moved file took the target's place
    } cases[] = {
        {"one by one", {"Overwrite", "Skip", "Overwrite"}, 3, {true, false, true}},
        {"overwrite all", {"Overwrite All"}, 1, {true, true, true}},
        {"skip all", {"Skip All"}, 1, {false, false, false}},
        {"skip, then overwrite all", {"Skip", "Overwrite All"}, 2, {false, true, true}},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::string from = Folder("Pictures/from" + std::to_string(n)), to = Folder("Pictures/to" + std::to_string(n));
        ++n;
        std::vector<std::string> files;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            WriteFile(fs::path(from) / name, std::string("new ") + name);
            WriteFile(fs::path(to) / name, std::string("old ") + name);
            files.push_back(from + "/" + name);
        }
        std::vector<std::string> asked;
        Json done = Move(files, to, c.answers, &asked);
        EXPECT_EQ(asked.size(), c.questions) << c.name;
        int replaced = 0;
        for (size_t i = 0; i < 3; ++i) {
            std::string name = fs::path(files[i]).filename().string();
            EXPECT_EQ(ReadFile(fs::path(to) / name), (c.replaced[i] ? "new " : "old ") + name) << c.name;
            EXPECT_EQ(fs::exists(files[i]), !c.replaced[i]) << c.name << " " << name;
            replaced += c.replaced[i];
        }
        EXPECT_EQ(done["moved"], replaced) << c.name;
        EXPECT_EQ(done["skipped"], 3 - replaced) << c.name;
    }
    // One job at a time: a second one waits for the first's question to be answered.
    std::string from = Folder("Pictures/from9"), to = Folder("Pictures/to9");
    WriteFile(fs::path(from) / "x.jpg", "new");
    WriteFile(fs::path(to) / "x.jpg", "old");
    auto [status, first] = Post("/api/baskets/move", {{"files", {from + "/x.jpg"}}, {"folder", to}});
    ASSERT_EQ(status, 200);
    EXPECT_EQ(Post("/api/baskets/move", {{"files", {from + "/x.jpg"}}, {"folder", root}}).first, 409);
    EXPECT_EQ(Post("/api/moves/" + first["job"].dump() + "/answer", {{"answer", "Maybe"}}).first, 400);
    ASSERT_TRUE(WaitUntil([&] { return Get("/api/moves").second["job"]["phase"] == "conflict"; }));
    EXPECT_EQ(Post("/api/moves/" + first["job"].dump() + "/cancel", Json::object()).first, 200);
    ASSERT_TRUE(WaitUntil([&] { return Get("/api/moves").second["job"]["phase"] == "done"; }));
    EXPECT_EQ(ReadFile(fs::path(to) / "x.jpg"), "old");  // a cancelled question is a "Skip"
}

// Pictures that came into a basket keep their addresses in the history through every change the
// basket window makes, as a later scan would show them; deleted ones are forgotten.
TEST_F(BasketApi, HistoryFollowsEveryChange) {
    NginxServer web;
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) WriteFile(web.Root() / name, Png(40, 30, uint8_t(name[0])));
    std::string root = Folder("Gallery");
    Cli({"basket", "add", "Gallery", root});
    Cli({"basket", "drop", "Gallery", web.Url("/a.png"), web.Url("/b.png"), web.Url("/c.png"), web.Url("/d.png")});
    StartUi();
    ASSERT_EQ(HistoryPath(web.Url("/a.png")), root + "/a.png");
    auto [s0, list] = Get("/api/baskets");
    ASSERT_EQ(s0, 200);
    ASSERT_EQ(list["baskets"].size(), 1u);
    EXPECT_EQ(list["baskets"][0]["files"], 4);
    std::string id = list["baskets"][0]["id"].dump(), base = "/api/baskets/" + id;

    // A renamed file (RenamePath).
    EXPECT_EQ(Post(base + "/rename", {{"path", root + "/a.png"}, {"name", "renamed.png"}}).first, 200);
    EXPECT_EQ(HistoryPath(web.Url("/a.png")), root + "/renamed.png");
    // A file moved into a new folder (the move job), then the folder renamed (MoveUnder).
    EXPECT_EQ(Post(base + "/newFolder", {{"path", root}, {"name", "sub"}}).first, 200);
    std::vector<std::string> asked;
    Json moved = Move({root + "/b.png"}, root + "/sub", {}, &asked);
    EXPECT_EQ(moved["moved"], 1);
    EXPECT_EQ(HistoryPath(web.Url("/b.png")), root + "/sub/b.png");
    EXPECT_EQ(Post(base + "/rename", {{"path", root + "/sub"}, {"name", "kept"}}).first, 200);
    EXPECT_EQ(HistoryPath(web.Url("/b.png")), root + "/kept/b.png");
    // A deleted file (ForgetPaths) and a deleted folder (ForgetUnder) are forgotten.
    EXPECT_EQ(Post(base + "/remove", {{"paths", {root + "/c.png"}}}).first, 200);
    EXPECT_EQ(HistoryPath(web.Url("/c.png")), "");
    EXPECT_FALSE(fs::exists(root + "/c.png"));
    auto [s1, rootRefused] = Post(base + "/remove", {{"paths", {root}}});
    EXPECT_EQ(s1, 422);
    EXPECT_EQ(rootRefused["error"], "Basket root folder cannot be deleted.");
    EXPECT_EQ(Post(base + "/remove", {{"paths", {root + "/kept"}}}).first, 200);
    EXPECT_EQ(HistoryPath(web.Url("/b.png")), "");
    // The basket's folder renamed in the basket window: the basket and the history follow it.
    auto [s2, renamed] = Post(base + "/rename", {{"path", root}, {"name", "Gallery2"}});
    ASSERT_EQ(s2, 200) << renamed.dump();
    std::string root2 = files_.Str() + "/Gallery2";
    EXPECT_EQ(Get("/api/baskets").second["baskets"][0]["folder"], root2);
    EXPECT_EQ(HistoryPath(web.Url("/d.png")), root2 + "/d.png");
    // The folder moved by another program, then the basket edited to point there.
    std::string root3 = files_.Str() + "/Moved";
    fs::rename(root2, root3);
    auto [s3, edited] = Post(base + "/edit", {{"name", "Gallery"}, {"folder", root3}});
    ASSERT_EQ(s3, 200) << edited.dump();
    EXPECT_EQ(HistoryPath(web.Url("/d.png")), root3 + "/d.png");
    EXPECT_EQ(HistoryPath(web.Url("/a.png")), root3 + "/renamed.png");
}

// Nothing outside the allowed folders is read or changed, however the path is written.
TEST_F(BasketApi, PathsOutsideTheBasketsAreRefused) {
    std::string root = Folder("Safe"), other = Folder("Other"), outside = Folder("Outside");
    WriteFile(fs::path(root) / "p.png", Png(64, 48, 200));
    WriteFile(fs::path(outside) / "secret.png", Png(8, 8, 1));
    WriteFile(fs::path(other) / "o.png", Png(8, 8, 2));
    fs::create_symlink(fs::path(outside) / "secret.png", fs::path(root) / "link.png");
    fs::create_symlink(outside, fs::path(root) / "linkdir");
    fs::create_directories(fs::path(root) / "sub");
    Cli({"basket", "add", "Safe", root});
    Cli({"basket", "add", "Other", other});
    StartUi();
    std::string enc = httplib::detail::encode_query_param(root);
    struct Read {
        std::string query;  // after /picture?path=
        int status;
    } reads[] = {
        {enc + "%2Fp.png", 200},
        {enc + "%2F..%2FOutside%2Fsecret.png", 403},
        {enc + "%2F%2e%2e%2FOutside%2Fsecret.png", 403},
        {enc + "%2Flink.png", 403},
        {enc + "%2Flinkdir%2Fsecret.png", 403},
        {enc + "%2Fp.png%00.png", 403},
        {httplib::detail::encode_query_param(outside + "/secret.png"), 403},
        {"%2Fetc%2Fpasswd", 403},
        {"p.png", 403},
    };
    for (const Read& r : reads) {
        auto res = client_->Get(("/picture?path=" + r.query).c_str(), Auth());
        ASSERT_TRUE(res) << r.query;
        EXPECT_EQ(res->status, r.status) << r.query;
    }
    std::string safe = "/api/baskets/" + Get("/api/baskets").second["baskets"][0]["id"].dump();
    struct Change {
        std::string path;
        Json body;
        int status;
    } changes[] = {
        {safe + "/rename", {{"path", outside + "/secret.png"}, {"name", "x.png"}}, 403},
        {safe + "/rename", {{"path", root + "/p.png"}, {"name", "../x.png"}}, 422},
        {safe + "/rename", {{"path", root + "/linkdir/secret.png"}, {"name", "x.png"}}, 403},
        {safe + "/rename", {{"path", other + "/o.png"}, {"name", "x.png"}}, 403},  // another basket's file
        {safe + "/remove", {{"paths", {root + "/../Outside/secret.png"}}}, 403},
        {safe + "/remove", {{"paths", {outside}}}, 403},
        {safe + "/newFolder", {{"path", outside}, {"name", "x"}}, 403},
        {safe + "/newFolder", {{"path", root}, {"name", ".."}}, 422},
        {"/api/baskets/move", {{"files", {outside + "/secret.png"}}, {"folder", root}}, 403},
        {"/api/baskets/move", {{"files", {root + "/p.png"}}, {"folder", outside}}, 403},
        {"/api/baskets/move", {{"files", {root + "/sub"}}, {"folder", other}}, 403},  // folders are not moved
        {"/api/pictures/external", {{"path", outside + "/secret.png"}}, 409},  // no viewer set: refused first
    };
    for (const Change& c : changes) {
        auto [status, answer] = Post(c.path, c.body);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body.dump() << " -> " << answer.dump();
    }
    EXPECT_TRUE(fs::exists(fs::path(outside) / "secret.png"));
    EXPECT_TRUE(fs::exists(fs::path(other) / "o.png"));
    // A link out is deleted itself, never what it points to.
    EXPECT_EQ(Post(safe + "/remove", {{"paths", {root + "/link.png", root + "/linkdir"}}}).first, 200);
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(root) / "link.png")));
    EXPECT_TRUE(fs::exists(fs::path(outside) / "secret.png"));
    // Without the token nothing is served.
    auto anonymous = client_->Get(("/picture?path=" + enc + "%2Fp.png").c_str());
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(anonymous->status, 401);
}

// The basket rules' refusals with their own messages, and pictures fitted by the loader with
// their own size, format and depth told beside them.
TEST_F(BasketApi, BasketRulesAndPictures) {
    std::string root = Folder("Pics");
    WriteFile(fs::path(root) / "wide.png", Png(1000, 10, 50));
    WriteFile(fs::path(root) / "broken.jpg", "\xff\xd8\xff\xe0 this is no picture");
    StartUi();
    struct Case {
        Json body;
        int status;
        std::string error;
    } cases[] = {
        {{{"name", "Pics"}, {"folder", files_.Str() + "/missing"}}, 422, "An invalid folder is specified"},
        {{{"name", ""}, {"folder", root}}, 422, "Basket name cannot be empty"},
        {{{"name", "Pics"}, {"folder", root}}, 200, ""},
        {{{"name", "Inner"}, {"folder", Folder("Pics/inner")}}, 422,
         "Chosen folder overlapps with the folder of the 'Pics' basket.\nPlease choose another folder."},
        {{{"name", "Pics"}, {"folder", Folder("Elsewhere")}}, 422, "A basket named \"Pics\" exists already."},
        {{{"name", "X"}, {"folder", root}, {"dispatch", 7}}, 400, ""},
    };
    for (const Case& c : cases) {
        auto [status, answer] = Post("/api/baskets", c.body);
        EXPECT_EQ(status, c.status) << c.body.dump() << " -> " << answer.dump();
        if (!c.error.empty()) {
            EXPECT_EQ(answer["error"], c.error);
        }
    }
    auto get = [&](const std::string& name, const std::string& box, const httplib::Headers& extra = {}) {
        httplib::Headers h = Auth();
        h.insert(extra.begin(), extra.end());
        return client_->Get(("/picture?path=" + httplib::detail::encode_query_param(root + "/" + name) + "&box=" + box).c_str(),
                            h);
    };
    auto fitted = get("wide.png", "100x100");
    ASSERT_TRUE(fitted);
    ASSERT_EQ(fitted->status, 200) << fitted->body;
    EXPECT_EQ(fitted->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(fitted->get_header_value("X-Picture-Format"), "PNG");
    EXPECT_EQ(fitted->get_header_value("X-Picture-Width"), "1000");
    EXPECT_EQ(fitted->get_header_value("X-Picture-Height"), "10");
    EXPECT_EQ(fitted->get_header_value("X-Picture-Depth"), "24");
    // The answer is the picture fitted into the box: 100 x 1 (a JPEG's size sits in its SOF0 header).
    size_t sof = fitted->body.find("\xff\xc0");
    ASSERT_NE(sof, std::string::npos);
    auto be16 = [&](size_t at) { return (uint8_t(fitted->body[at]) << 8) | uint8_t(fitted->body[at + 1]); };
    EXPECT_EQ(be16(sof + 5), 1);    // height
    EXPECT_EQ(be16(sof + 7), 100);  // width
    // Asked again with its validator, it is not decoded again.
    auto again = get("wide.png", "100x100", {{"If-None-Match", fitted->get_header_value("ETag")}});
    ASSERT_TRUE(again);
    EXPECT_EQ(again->status, 304);
    auto broken = get("broken.jpg", "100x100");
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->status, 422);
    EXPECT_NE(broken->body.find("This picture cannot be shown"), std::string::npos) << broken->body;
    // Previous and next: the pictures of the folder in name order.
    auto [s, folder] = Get("/api/pictures/folder?path=" + httplib::detail::encode_query_param(root + "/wide.png"));
    ASSERT_EQ(s, 200);
    EXPECT_EQ(folder["pictures"], Json({root + "/broken.jpg", root + "/wide.png"}));
    EXPECT_EQ(folder["index"], 1);
    // The view settings are kept as given, and refused out of range.
    EXPECT_EQ(Post("/api/baskets/view", {{"mode", 1}, {"thumb", {128, 96}}}).second["thumb"], Json({128, 96}));
    EXPECT_EQ(Post("/api/baskets/view", {{"mode", 2}}).first, 400);
    EXPECT_EQ(Get("/api/baskets").second["view"]["mode"], 1);
}

}  // namespace
}  // namespace plover::test
