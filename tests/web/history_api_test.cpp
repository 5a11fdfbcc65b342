// The history pane's and the bookmarks' commands over real HTTP against `plover ui`.
#include "baskets/download_db.h"
#include "web/running_ui.h"

namespace plover::test {
namespace {

using Json = nlohmann::json;

class HistoryApi : public RunningUi {
protected:
    void BeforeStart() override {
        std::filesystem::create_directories(home_ / "Cars");
        WriteFile(home_ / "Cars" / "red.jpg", "jpeg");
        CDownloadDB db;
        db.Record("http://127.0.0.1:1/red.jpg", (home_ / "Cars" / "red.jpg").string());
        db.Record("http://127.0.0.1:1/blue.jpg", (home_ / "Cars" / "blue.jpg").string());  // gone
        ASSERT_TRUE(db.Save((home_ / kDownloadDBName).string()));
    }
    std::map<std::string, bool> Entries() {
        std::map<std::string, bool> out;
        Json history = Get("/api/history").second;
        for (const Json& e : history["entries"]) out[e["name"]] = e["onDisk"];
        return out;
    }
};

TEST_F(HistoryApi, EntriesShowTheirFileAndForgottenOnesStayForgotten) {
    EXPECT_EQ(Entries(), (std::map<std::string, bool>{{"blue.jpg", false}, {"red.jpg", true}}));
    auto [status, answer] = Post("/api/history/forget", {{"addresses", {"http://127.0.0.1:1/blue.jpg", "http://other/"}}});
    EXPECT_EQ(status, 200);
    EXPECT_EQ(answer["forgotten"], 1);
    EXPECT_EQ(Entries(), (std::map<std::string, bool>{{"red.jpg", true}}));
    EXPECT_EQ(Post("/api/history/forget", {{"addresses", "http://127.0.0.1:1/red.jpg"}}).first, 400);
    Restart();
    EXPECT_EQ(Entries(), (std::map<std::string, bool>{{"red.jpg", true}}));
}

TEST_F(HistoryApi, BookmarksAreCheckedAndKept) {
    struct Case {
        Json body;
        int status;
        std::string error;
    } refused[] = {
        {{{"url", "mailto:me@example.com"}}, 422, "Only HTTP, HTTPS and FTP addresses can be bookmarked: mailto:me@example.com"},
        {{{"url", "http://"}}, 422, "Only HTTP, HTTPS and FTP addresses can be bookmarked: http://"},
        {{{"url", "http://a b/"}}, 422, "Not an address: \"http://a b/\""},
        {{{"url", 5}}, 400, "\"url\" must be a string."},
    };
    for (const Case& c : refused) {
        auto [status, answer] = Post("/api/bookmarks", c.body);
        EXPECT_EQ(status, c.status) << c.body.dump();
        EXPECT_EQ(answer["error"], c.error) << c.body.dump();
    }
    EXPECT_EQ(Post("/api/bookmarks", {{"url", "http://127.0.0.1:1/gallery/"}}).first, 200);
    EXPECT_EQ(Post("/api/bookmarks", {{"url", "ftp://127.0.0.1:1/pub/"}}).first, 200);
    auto [again, list] = Post("/api/bookmarks", {{"url", "http://127.0.0.1:1/gallery/"}});  // once only
    EXPECT_EQ(list["bookmarks"], Json({"http://127.0.0.1:1/gallery/", "ftp://127.0.0.1:1/pub/"}));
    EXPECT_EQ(Post("/api/bookmarks/delete", {{"url", "ftp://127.0.0.1:1/pub/"}}).first, 200);
    EXPECT_EQ(Post("/api/bookmarks/delete", {{"url", "ftp://127.0.0.1:1/pub/"}}).first, 404);
    Restart();
    EXPECT_EQ(Get("/api/bookmarks").second["bookmarks"], Json({"http://127.0.0.1:1/gallery/"}));
}

}  // namespace
}  // namespace plover::test
