// The scan documents' server part: which files a picture address may reach, the document's
// bookkeeping of results and marks, and the real `plover ui` answering a scan over HTTP.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/run_plover.h"
#include "download/url_name.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"
#include "web/scan_doc.h"
#include "web/served_files.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using web::PictureMimeType;
using web::ResolveServedFile;

const std::string kPng("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16);

TEST(ServedFiles, APictureIsKnownByItsFirstBytes) {
    struct Case {
        std::string head;
        std::string type;
    } cases[] = {
        {"\xFF\xD8\xFF\xE0xxxxJFIF", "image/jpeg"},
        {kPng, "image/png"},
        {"GIF89a....", "image/gif"},
        {"BM" + std::string(20, '\0'), "image/bmp"},
        {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), "image/webp"},
        {"<svg xmlns=...>", ""},   // no scripts disguised as pictures
        {"<html><body>", ""},
        {"\x89PNG", ""},           // cut short
        {"BM", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(PictureMimeType(c.head), c.type) << c.head;
}

TEST(ServedFiles, OnlyFilesBelowAnAllowedFolderAfterLinksAreResolved) {
    TempDir dir;
    fs::create_directories(dir / "cache/sub");
    fs::create_directories(dir / "cache2");
    fs::create_directories(dir / "outside");
    WriteFile(dir / "cache/a.png", kPng);
    WriteFile(dir / "cache/sub/b.png", kPng);
    WriteFile(dir / "cache2/c.png", kPng);
    WriteFile(dir / "outside/secret.png", kPng);
    fs::create_symlink(dir / "outside/secret.png", dir / "cache/out.png");
    fs::create_symlink(dir / "outside", dir / "cache/outdir");
    fs::create_symlink(dir / "cache/a.png", dir / "cache/in.png");
    std::string cache = (dir / "cache").string();
    std::string real = fs::canonical(dir.Path()).string();
    struct Case {
        std::string path;
        std::string served;  // "" refused
    } cases[] = {
        {cache + "/a.png", real + "/cache/a.png"},
        {cache + "/sub/b.png", real + "/cache/sub/b.png"},
        {cache + "/in.png", real + "/cache/a.png"},        // a link that stays inside
        {cache + "/out.png", ""},                          // a link out of the folder
        {cache + "/outdir/secret.png", ""},                // through a linked folder
        {cache + "/../outside/secret.png", ""},            // ".." out
        {cache + "/sub/../a.png", real + "/cache/a.png"},  // ".." that stays inside
        {cache + "2/c.png", ""},                           // a folder whose name only begins alike
        {cache + "%2F..%2Foutside%2Fsecret.png", ""},      // an encoded separator is no separator
        {cache, ""},                                       // the folder itself
        {cache + "/sub", ""},                              // a folder below it
        {cache + "/missing.png", ""},
        {"", ""},
        {std::string("a\0b", 3), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ResolveServedFile(c.path, {cache}), c.served) << c.path;
    // Through a linked allowed folder, the file is found under the folder's real place.
    fs::create_symlink(dir / "cache", dir / "cachelink");
    EXPECT_EQ(ResolveServedFile(cache + "/a.png", {(dir / "cachelink").string()}), real + "/cache/a.png");
    EXPECT_EQ(ResolveServedFile(cache + "/a.png", {}), "");
}

std::unique_ptr<SScanElement> Thumbnail(const std::string& picture, const std::string& small) {
    auto t = std::make_unique<SScanThumbnail>();
    t->url = picture;
    t->thumbnailUrl = small;
    t->pageUrl = "http://h/g/index.html";
    return t;
}

TEST(ScanDoc, ResultsAreToldOnceWithWhatChangedSince) {
    web::CScanDoc doc(1, "", "Scan Single Page");
    EXPECT_EQ(doc.Begin("http://h/g/index.html", "Scan Single Page"), 1);
    doc.OnElement(Thumbnail("http://h/g/big/p1.jpg", "http://h/g/small/p1.jpg"), EDownloadMark::None);
    doc.OnElement(Thumbnail("http://h/g/big/p2.jpg", "http://h/g/small/p2.jpg"), EDownloadMark::Queued);
    doc.OnThumbFetched("http://h/g/small/p2.jpg", "/cache/srch2");
    doc.SetMark(0, EDownloadMark::OnDisk);  // before it was told: it goes out with the result
    web::CScanDoc::SChanges c = doc.TakeChanges();
    EXPECT_EQ(c.itemsFrom, 0u);
    EXPECT_EQ(c.itemsTo, 2u);
    EXPECT_TRUE(c.thumbs.empty());
    EXPECT_TRUE(c.marks.empty());
    Json items = doc.ItemsJson(0, 10);
    EXPECT_EQ(items[0]["mark"], "disk");
    EXPECT_EQ(items[0]["thumb"], false);
    EXPECT_EQ(items[1]["mark"], "queued");
    EXPECT_EQ(items[1]["thumb"], true);

    doc.OnThumbFetched("http://h/g/small/p1.jpg", "/cache/srch1");
    doc.OnThumbFetched("http://h/g/small/unknown.jpg", "/cache/srch9");  // no result of this run
    doc.SetMark(1, EDownloadMark::OnDisk);
    doc.SetMark(1, EDownloadMark::OnDisk);
    c = doc.TakeChanges();
    EXPECT_EQ(c.itemsFrom, c.itemsTo);
    EXPECT_EQ(c.thumbs, std::vector<size_t>{0});
    EXPECT_EQ(c.marks, std::vector<size_t>{1});
    EXPECT_EQ(doc.StateJson()["thumbsFetched"], 2);
    ASSERT_NE(doc.ItemsOf(StorableAddress("http://h/g/big/p2.jpg")), nullptr);

    // A new run starts from nothing.
    EXPECT_EQ(doc.Begin("http://h/other.html", "Scan Single Page"), 2);
    EXPECT_TRUE(doc.Items().empty());
    EXPECT_EQ(doc.StateJson()["state"], "scanning");
}

// `plover ui` in a home of its own, with a one-page gallery on nginx.
class ScanServer : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(web_.Root() / "small");
        fs::create_directories(web_.Root() / "big");
        WriteFile(web_.Root() / "small/p1.png", kPng + "small picture");
        WriteFile(web_.Root() / "big/p1.png", kPng + "large picture");
        WriteFile(web_.Root() / "index.html",
                  "<html><head><title>One</title></head><body><a href=\"big/p1.png\"><img src=\"small/p1.png\"></a>"
                  "<a href=\"next.html\">next</a></body></html>");
        port_ = FreeLoopbackPort();
        int port = port_;
        plover_ = std::make_unique<CBackgroundPlover>(
            home_.Str(), std::vector<std::string>{"ui", "--listen", "127.0.0.1:" + std::to_string(port)}, io_.Str());
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             token_.empty() && std::chrono::steady_clock::now() < until;
             std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            std::string out = plover_->Output();
            size_t at = out.find("?token=");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos)
                token_ = out.substr(at + 7, out.find('\n', at) - at - 7);
        }
        ASSERT_EQ(token_.size(), 64u) << plover_->Output();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port);
        client_->set_read_timeout(30);
    }

    httplib::Headers Auth() const { return {{"Authorization", "Bearer " + token_}}; }
    int Status(const std::string& path) {
        auto r = client_->Get(path.c_str(), Auth());
        return r ? r->status : -1;
    }
    Json Post(const std::string& path, const std::string& body, int* status = nullptr) {
        auto r = client_->Post(path.c_str(), Auth(), body, "application/json");
        if (status) *status = r ? r->status : -1;
        return r ? Json::parse(r->body, nullptr, false) : Json();
    }
    Json Get(const std::string& path) {
        auto r = client_->Get(path.c_str(), Auth());
        return r && r->status == 200 ? Json::parse(r->body) : Json();
    }
    // Scans a page of the gallery to its end; the document's number.
    int ScanToTheEnd(const std::string& page = "/index.html") {
        Json doc = Post("/api/scan", Json{{"url", web_.Url(page)}}.dump());
        int id = doc.value("id", 0);
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            Json list = Get("/api/scan");
            if (list.is_object() && list["docs"].size() == 1 && list["docs"][0]["state"] == "done") break;
        }
        return id;
    }

    NginxServer web_;
    int port_ = 0;
    TempDir home_, io_;
    std::string token_;
    std::unique_ptr<CBackgroundPlover> plover_;
    std::unique_ptr<httplib::Client> client_;
};

// A picture is named by numbers only; whatever else a request names, and whatever the cache
// file has become, nothing outside the allowed folders is sent.
TEST_F(ScanServer, PictureAddressesReachNothingOutsideTheAllowedFolders) {
    int doc = ScanToTheEnd();
    ASSERT_GT(doc, 0);
    Json items = Get("/api/scan/" + std::to_string(doc) + "/items")["items"];
    ASSERT_EQ(items.size(), 2u) << items.dump();
    EXPECT_EQ(items[0]["kind"], "thumbnail");
    EXPECT_EQ(items[0]["thumb"], true);
    EXPECT_EQ(items[1]["kind"], "link");
    std::string pictures = Get("/api/scan")["pictures"];
    std::string thumb = pictures + "/" + std::to_string(doc) + "/1/0";
    auto r = client_->Get(thumb.c_str(), Auth());
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200);
    EXPECT_EQ(r->body, kPng + "small picture");
    EXPECT_EQ(r->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(r->get_header_value("X-Content-Type-Options"), "nosniff");
    // Without the key, nothing; other numbers, other runs and other instances, nothing.
    EXPECT_EQ(client_->Get(thumb.c_str())->status, 401);
    std::string d = std::to_string(doc);
    const std::string refused[] = {
        pictures + "/" + d + "/1/1",                       // a page link has no picture
        pictures + "/" + d + "/2/0",                       // no such run
        pictures + "/99/1/0",                              // no such document
        "/scan-pictures/0123456789abcdef/" + d + "/1/0",   // another instance's address
        pictures + "/" + d + "/1/0%2F..%2F..%2Fetc%2Fpasswd",
        pictures + "/" + d + "/1/..%2F0",
        pictures + "/" + d + "/1/../1/0",
        pictures + "/" + d + "/large/0",                   // not fetched yet: the history knows nothing
        pictures + "/" + d + "/large/..%2F..%2Fetc%2Fpasswd",
        "/scan-pictures/" + std::string("%2E%2E") + "/etc/passwd",
    };
    for (const std::string& path : refused) EXPECT_EQ(Status(path), 404) << path;

    // The cache's file turned into a link to a picture elsewhere: refused as well.
    TempDir outside;
    WriteFile(outside / "secret.png", kPng + "secret");
    std::string cached;
    for (const auto& e : fs::recursive_directory_iterator(home_ / "cache"))
        if (e.is_regular_file() && ReadFile(e.path()) == kPng + "small picture") cached = e.path().string();
    ASSERT_FALSE(cached.empty());
    fs::remove(cached);
    fs::create_symlink(outside / "secret.png", cached);
    EXPECT_EQ(Status(thumb), 404);
}

// The pages and small pictures a scan fetches are the page cache's work: they never become rows
// of the download list, neither in the stream nor in a snapshot.
TEST_F(ScanServer, TheScansOwnFetchesAreNoRowsOfTheDownloadList) {
    std::atomic<bool> done{false};
    std::string stream;
    httplib::Client events("127.0.0.1", port_);
    std::thread reader([&] {
        events.Get("/api/events", Auth(), [&](const char* data, size_t n) {
            stream.append(data, n);
            return !done.load();
        });
    });
    int doc = ScanToTheEnd();
    ASSERT_GT(doc, 0);
    EXPECT_EQ(Get("/api/scan/" + std::to_string(doc) + "/items")["items"].size(), 2u);
    done = true;  // the traffic figures arrive each second and end the reader
    reader.join();
    EXPECT_EQ(stream.rfind("event: snapshot", 0), 0u) << stream.substr(0, 200);
    EXPECT_EQ(stream.find("event: download\n"), std::string::npos) << stream;
    EXPECT_TRUE(Get("/api/snapshot")["downloads"].empty());
}

TEST_F(ScanServer, BadCommandsAreRefusedWithAReason) {
    int doc = ScanToTheEnd();
    std::string d = "/api/scan/" + std::to_string(doc);
    struct Case {
        std::string path, body;
        int status;
    } cases[] = {
        {"/api/scan", "[1]", 400},
        {"/api/scan", R"({"url":42})", 400},
        {"/api/scan", R"({"url":"mailto:me@example.com"})", 422},
        {"/api/scan", R"({"url":"http://127.0.0.1:1/","profile":"No Such Profile"})", 422},
        {"/api/scan", R"({"url":"http://127.0.0.1:1/","profile":-1})", 400},
        {"/api/scan", R"({"search":{"site":99,"text":"car"}})", 404},
        {"/api/scan", R"({"search":{"site":0}})", 400},
        {"/api/scan/4242/stop", "", 404},
        {d + "/explode", "", 404},
        {d + "/send", R"({"basket":0,"items":[0]})", 404},  // there is no basket
        {d + "/send", R"({"basket":"x","items":[0]})", 400},
        {d + "/preview", R"({"item":7})", 404},
        {d + "/preview", R"({"item":1})", 422},  // a page link
        {d + "/preview", R"({"item":-1})", 400},
        {d + "/login", R"({"user":"u","password":"p"})", 409},  // nothing waits for a login
    };
    for (const Case& c : cases) {
        int status = 0;
        Json answer = Post(c.path, c.body, &status);
        EXPECT_EQ(status, c.status) << c.path << " " << c.body;
        EXPECT_TRUE(answer.is_object() && answer.contains("error")) << c.path << " " << c.body;
    }
    auto form = client_->Post("/api/scan", Auth(), "url=http://127.0.0.1:1/", "application/x-www-form-urlencoded");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->status, 415);
    EXPECT_EQ(Get("/api/scan")["docs"].size(), 1u);  // nothing refused made a document
}

// A picture sent to a basket is "on disk" in the next run of the scan; forgotten in the history
// pane, it is new again, though its file stays in the basket.
TEST_F(ScanServer, APictureForgottenInTheHistoryIsNewInTheNextScan) {
    int doc = ScanToTheEnd();
    ASSERT_GT(doc, 0);
    std::string base = "/api/scan/" + std::to_string(doc);
    TempDir folder;
    int status = 0;
    Post("/api/baskets", Json{{"name", "Kept"}, {"folder", folder.Str()}}.dump(), &status);
    ASSERT_EQ(status, 200);
    Json baskets = Get("/api/scan/choices")["baskets"];
    ASSERT_EQ(baskets.size(), 1u);
    Post(base + "/send", Json{{"basket", baskets[0]["id"]}, {"items", {0}}}.dump(), &status);
    ASSERT_EQ(status, 200);
    auto rescannedMark = [&] {
        Post(base + "/start", Json{{"url", web_.Url("/index.html")}}.dump());
        for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
             std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
            Json items = Get(base + "/items")["items"];
            if (Get("/api/scan")["docs"][0]["state"] == "done" && items.size() == 2) return items[0]["mark"].get<std::string>();
        }
        return std::string("unfinished");
    };
    std::string address;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         address.empty() && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        Json history = Get("/api/history");
        for (const Json& e : history["entries"])
            if (e["onDisk"] == true) address = e["address"];
    }
    ASSERT_FALSE(address.empty()) << Get("/api/history").dump();
    EXPECT_EQ(rescannedMark(), "disk");

    Json forgotten = Post("/api/history/forget", Json{{"addresses", {address}}}.dump(), &status);
    ASSERT_EQ(status, 200) << forgotten.dump();
    EXPECT_EQ(forgotten["forgotten"], 1);
    EXPECT_EQ(rescannedMark(), "new");
    EXPECT_EQ(ReadFile(folder / "p1.png"), kPng + "large picture");
}

// A send of a thousand pictures goes one by one with its progress told on the stream; cancelled,
// it ends at once, and what was handed over before is all that reached the download list.
TEST_F(ScanServer, ALargeSendTellsItsProgressAndStopsWhenCancelled) {
    constexpr size_t kPictures = 1000;
    std::string page = "<html><body>";
    for (size_t i = 1; i <= kPictures; ++i) {
        std::string name = "q" + std::to_string(i) + ".png";
        WriteFile(web_.Root() / "small" / name, kPng + name);
        WriteFile(web_.Root() / "big" / name, kPng + "large " + name);
        page += "<a href=\"big/" + name + "\"><img src=\"small/" + name + "\"></a>";
    }
    WriteFile(web_.Root() / "many.html", page + "</body></html>");
    int doc = ScanToTheEnd("/many.html");
    Json items = Get("/api/scan/" + std::to_string(doc) + "/items")["items"];
    ASSERT_EQ(items.size(), kPictures);
    TempDir folder;
    int status = 0;
    Post("/api/baskets", Json{{"name", "Many"}, {"folder", folder.Str()}}.dump(), &status);
    ASSERT_EQ(status, 200);
    Json baskets = Get("/api/scan/choices")["baskets"];
    ASSERT_EQ(baskets.size(), 1u);
    Json all = Json::array();
    for (size_t i = 0; i < kPictures; ++i) all.push_back(i);
    Json send = Post("/api/scan/" + std::to_string(doc) + "/send",
                     Json{{"basket", baskets[0]["id"]}, {"items", all}}.dump(), &status);
    ASSERT_EQ(status, 200) << send.dump();
    EXPECT_EQ(send["total"], kPictures);
    int sendId = send["send"];

    httplib::Client stream("127.0.0.1", port_);
    stream.set_read_timeout(60);
    std::string buffer;
    Json last;
    bool cancelled = false;
    stream.Get("/api/events", Auth(), [&](const char* data, size_t n) {
        buffer.append(data, n);
        for (size_t end; (end = buffer.find("\n\n")) != std::string::npos; buffer.erase(0, end + 2)) {
            std::string event = buffer.substr(0, end);
            const std::string head = "event: scanSend\ndata: ";
            if (event.rfind(head, 0) != 0) continue;
            Json s = Json::parse(event.substr(head.size()));
            if (s["send"] != sendId) continue;
            last = s;
            if (!cancelled && s["done"].get<size_t>() >= 1) {
                cancelled = true;
                EXPECT_EQ(Post("/api/scan/sends/" + std::to_string(sendId) + "/cancel", "")["send"], sendId);
            }
            if (s["ended"] == true) return false;
        }
        return true;
    });
    ASSERT_TRUE(last.is_object());
    EXPECT_EQ(last["ended"], true);
    EXPECT_EQ(last["cancelled"], true);
    EXPECT_EQ(last["total"], kPictures);
    EXPECT_GE(last["done"].get<size_t>(), 1u);
    EXPECT_LT(last["done"].get<size_t>(), kPictures);
    EXPECT_EQ(last["downloading"], last["done"]);
    // Those handed over arrive and turn "On disk"; the others stay new.
    size_t done = last["done"];
    auto arrived = [&] {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(folder.Path())) n += e.is_regular_file();
        return n;
    };
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         arrived() < done && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
    }
    EXPECT_EQ(arrived(), done);
    size_t onDisk = 0;
    Json after = Get("/api/scan/" + std::to_string(doc) + "/items");
    for (const Json& item : after["items"]) onDisk += item["mark"] != "new";
    EXPECT_EQ(onDisk, done);
}

// A page behind a login: the document says what waits, the answer goes to that download, and
// the scan goes on with the page.
TEST_F(ScanServer, ALoginRequestOfTheScanIsAnswered) {
    WriteFile(web_.Root() / "auth/index.html",
              "<html><body><a href=\"/big/p1.png\"><img src=\"/small/p1.png\"></a></body></html>");
    int status = 0;
    Json doc = Post("/api/scan", Json{{"url", web_.Url("/auth/index.html")}}.dump(), &status);
    ASSERT_EQ(status, 200) << doc.dump();
    std::string d = "/api/scan/" + std::to_string(doc["id"].get<int>());
    auto state = [&] {
        Json list = Get("/api/scan");
        return list.is_object() && list["docs"].size() == 1 ? list["docs"][0] : Json();
    };
    Json asked;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         !asked.contains("login") && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        asked = state();
    ASSERT_TRUE(asked.contains("login")) << asked.dump();
    EXPECT_EQ(asked["login"]["url"], web_.Url("/auth/index.html"));
    Post(d + "/login", R"({"user":"user","password":"secret"})", &status);
    EXPECT_EQ(status, 200);
    Json done;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         done["state"] != "done" && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(std::chrono::milliseconds(100)))
        done = state();
    EXPECT_EQ(done["state"], "done") << done.dump();
    EXPECT_FALSE(done.contains("login"));
    Json items = Get(d + "/items")["items"];
    ASSERT_EQ(items.size(), 1u) << items.dump();
    EXPECT_EQ(items[0]["url"], web_.Url("/big/p1.png"));
    Post(d + "/login", R"({"user":"user","password":"secret"})", &status);
    EXPECT_EQ(status, 409);  // nothing waits any more
}

// The bookmarkable address keeps its query when the key moves into the cookie.
TEST_F(ScanServer, ScanAddressKeepsItsQueryWhenTheKeyIsTakenOut) {
    std::string path = "/scan?url=" + httplib::detail::encode_query_param(web_.Url("/index.html")) +
                       "&profile=1&token=" + token_;
    auto r = client_->Get(path.c_str());
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    // The client hands the Location header over decoded.
    EXPECT_EQ(r->get_header_value("Location"), "/scan?profile=1&url=" + web_.Url("/index.html"));
    auto page = client_->Get("/scan?url=x", {{"Cookie", "plover_token=" + token_}});
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("/static/js/main.js"), std::string::npos);
}

}  // namespace
}  // namespace plover::test
