// Whole galleries collected with one plover collect command, as a user meets them: a multi-page
// thumbnail gallery (every thumbnail of every page) and a gallery whose thumbnails open photo
// pages that hold the large picture, served by nginx. The summary names what was left out: links
// to pictures of another format.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run_plover.h"
#include "testutil/servers.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

namespace fs = std::filesystem;

class GalleryCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(RunPlover(home.Str(), {"settings", "set", "csCacheFolder", cache.Str()}).exitCode, 0);
        ASSERT_EQ(RunPlover(home.Str(), {"basket", "add", "Trip", files.Str()}).exitCode, 0);
    }
    std::string Url(const std::string& path) const { return web.Url("/g/" + path); }
    // Writes a picture of the gallery; its bytes tell which it is.
    void Picture(const std::string& path, size_t size) {
        WriteFile(web.Root() / "g" / path, PatternBytes(size, uint32_t(std::hash<std::string>{}(path))));
    }
    bool Collected(const std::string& name) const { return fs::exists(files.Path() / name); }
    size_t FilesCollected() const {
        size_t n = 0;
        for (auto& e : fs::recursive_directory_iterator(files.Path())) n += e.is_regular_file();
        return n;
    }

    NginxServer web;
    TempDir home, cache, files;
};

// Three index pages (index, index2, index3 linked by "Next"), three thumbnails on each that open
// a photo page; each photo page shows its picture and links to the next photo page and back. One
// thumbnail opens an animated GIF instead.
TEST_F(GalleryCliTest, ThumbnailsThatOpenPhotoPagesGiveEveryLargePicture) {
    fs::create_directories(web.Root() / "g" / "thumbs");
    const int pages = 3, perPage = 3, photos = pages * perPage;
    for (int p = 1; p <= pages; ++p) {
        std::string index = "<html><head><title>Trip</title></head><body><h1>Trip</h1>\n";
        for (int i = 1; i <= perPage; ++i) {
            int n = (p - 1) * perPage + i;
            std::string id = "img" + std::to_string(n);
            index += "<a href=\"" + id + ".html\"><img src=\"thumbs/" + id + ".jpg\" alt=\"\"></a>\n";
            Picture("thumbs/" + id + ".jpg", 800);
            Picture(id + ".jpg", 30000 + size_t(n));
            std::string next = "img" + std::to_string(n % photos + 1);
            WriteFile(web.Root() / "g" / (id + ".html"),
                      "<html><head><title>" + id + "</title></head><body>\n<img src=\"" + id +
                          ".jpg\" alt=\"\">\n<a href=\"" + next + ".html\"><img src=\"thumbs/" + next +
                          ".jpg\"></a>\n<a href=\"index.html\">Index</a></body></html>\n");
        }
        if (p < pages) index += "<a href=\"index" + std::to_string(p + 1) + ".html\">Next</a>\n";
        if (p == 1) index += "<a href=\"anim.gif\"><img src=\"thumbs/anim.jpg\"></a>\n";
        WriteFile(web.Root() / "g" / (p == 1 ? std::string("index.html") : "index" + std::to_string(p) + ".html"),
                  index + "</body></html>\n");
    }
    Picture("anim.gif", 5000);
    Picture("thumbs/anim.jpg", 500);

    SRunResult r = RunPlover(home.Str(), {"collect", Url("index.html"), "--basket", "Trip", "--profile",
                                          "Scan Thumbnailed Gallery", "--follow-picture-pages"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (int n = 1; n <= photos; ++n) {
        std::string name = "img" + std::to_string(n) + ".jpg";
        EXPECT_EQ(Sha256Of((files.Path() / name).string()), Sha256Of((web.Root() / "g" / name).string())) << name;
    }
    // Only the large pictures: no small picture of a thumbnail, no GIF.
    EXPECT_EQ(FilesCollected(), size_t(photos)) << r.out;
    EXPECT_NE(r.out.find("  other formats skipped   1  (links to GIF pictures"), std::string::npos) << r.out;
}

// Two pages of thumbnails straight to their pictures: the default gallery profile takes one from
// each page; --all-thumbnails then takes every one (the basket keeps what it has).
TEST_F(GalleryCliTest, AllThumbnailsOfEveryPage) {
    const int pages = 2, perPage = 4;
    fs::create_directories(web.Root() / "g" / "small");
    fs::create_directories(web.Root() / "g" / "big");
    for (int p = 1; p <= pages; ++p) {
        std::string page = "<html><body>\n";
        for (int i = 1; i <= perPage; ++i) {
            std::string id = "p" + std::to_string(p) + "_" + std::to_string(i);
            page += "<a href=\"big/" + id + ".jpg\"><img src=\"small/" + id + ".jpg\"></a>\n";
            Picture("small/" + id + ".jpg", 600);
            Picture("big/" + id + ".jpg", 20000);
        }
        if (p < pages) page += "<a href=\"page" + std::to_string(p + 1) + ".html\">Next</a>\n";
        WriteFile(web.Root() / "g" / ("page" + std::to_string(p) + ".html"), page + "</body></html>\n");
    }
    struct {
        std::vector<std::string> extra;
        size_t collected;
    } cases[] = {{{}, size_t(pages)}, {{"--all-thumbnails"}, size_t(pages * perPage)}};
    for (auto& c : cases) {
        std::vector<std::string> args = {"collect", Url("page1.html"), "--basket", "Trip", "--profile",
                                         "Scan Thumbnailed Gallery", "--reload"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        SRunResult r = RunPlover(home.Str(), args);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_EQ(FilesCollected(), c.collected) << r.out;
    }
    EXPECT_TRUE(Collected("p2_4.jpg"));
}

}  // namespace
}  // namespace plover::test
