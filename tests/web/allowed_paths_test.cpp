// Which files the page may reach: the path rules as tables, and the resolution against a real
// folder with links that stay inside and links that lead out.
#include <gtest/gtest.h>

#include <filesystem>

#include "testutil/temp_dir.h"
#include "web/allowed_paths.h"
#include "web/picture_api.h"
#include "web/picture_names.h"

namespace plover::web {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

TEST(AllowedPaths, PlainPathsAndNames) {
    struct Case {
        std::string path;
        bool plain;
    } paths[] = {
        {"/a/b.jpg", true},        {"/a//b.jpg", true},    {"/a/b/", true},         {"/", true},
        {"/a/../b.jpg", false},    {"/a/./b.jpg", false},  {"/..", false},          {"a/b.jpg", false},
        {"", false},               {std::string("/a\0b", 4), false},                {"/a/..b", true},
        {"/" + std::string(4096, 'x'), false},
    };
    for (const Case& c : paths) EXPECT_EQ(IsPlainAbsolutePath(c.path), c.plain) << c.path;
    struct Name {
        std::string name;
        bool plain;
    } names[] = {{"a.jpg", true}, {"..a", true}, {"", false}, {".", false}, {"..", false}, {"a/b", false},
                 {std::string("a\0", 2), false}, {std::string(255, 'n'), true}, {std::string(256, 'n'), false}};
    for (const Name& n : names) EXPECT_EQ(IsPlainName(n.name), n.plain) << n.name;
    EXPECT_TRUE(IsSameOrBelow("/a/b", "/a/b"));
    EXPECT_TRUE(IsSameOrBelow("/a/b/c", "/a/b"));
    EXPECT_FALSE(IsSameOrBelow("/a/bc", "/a/b"));
    EXPECT_TRUE(IsSameOrBelow("/a/b", "/"));
    EXPECT_EQ(TrimFolder("/a//b///"), "/a/b");
    EXPECT_EQ(TrimFolder("/"), "/");
}

TEST(AllowedPaths, LinksAreFollowedOnlyInside) {
    TempDir dir;
    fs::create_directories(dir / "basket/sub");
    fs::create_directories(dir / "outside");
    WriteFile(dir / "basket/a.jpg", "a");
    WriteFile(dir / "basket/sub/b.jpg", "b");
    WriteFile(dir / "outside/secret.jpg", "s");
    fs::create_symlink(dir / "outside/secret.jpg", dir / "basket/out.jpg");
    fs::create_symlink(dir / "outside", dir / "basket/outdir");
    fs::create_symlink(dir / "basket/sub/b.jpg", dir / "basket/in.jpg");
    fs::create_symlink(dir / "basket", dir / "link-to-basket");
    std::string root = (dir / "basket").string(), real = RealFolder(root);
    ASSERT_FALSE(real.empty());
    const std::vector<std::string> roots = {root};
    struct Case {
        std::string path;
        EPathUse use;
        bool allowed;
        std::string resolved;  // below the resolved root ("" when refused)
    } cases[] = {
        {root + "/a.jpg", EPathUse::Read, true, "/a.jpg"},
        {root + "/sub/b.jpg", EPathUse::Read, true, "/sub/b.jpg"},
        {root + "/in.jpg", EPathUse::Read, true, "/sub/b.jpg"},  // a link that stays inside
        {root + "/out.jpg", EPathUse::Read, false, ""},          // a link out
        {root + "/outdir/secret.jpg", EPathUse::Read, false, ""},
        {root + "/sub/../../outside/secret.jpg", EPathUse::Read, false, ""},
        {root + "/sub", EPathUse::Read, false, ""},  // a folder is not a file
        {root, EPathUse::Read, false, ""},
        {root, EPathUse::ReadFolder, true, ""},
        {root + "/outdir", EPathUse::ReadFolder, false, ""},
        {(dir / "link-to-basket/a.jpg").string(), EPathUse::Read, true, "/a.jpg"},  // the same files by another way
        {root + "/missing.jpg", EPathUse::Read, false, ""},
        {(dir / "outside/secret.jpg").string(), EPathUse::Read, false, ""},
        // Changing acts on the entry itself: a link out may be renamed or deleted, never its target.
        {root + "/out.jpg", EPathUse::Change, true, "/out.jpg"},
        {root + "/outdir", EPathUse::Change, true, "/outdir"},
        {root + "/outdir/secret.jpg", EPathUse::Change, false, ""},
        {root, EPathUse::Change, false, ""},
        {root + "/", EPathUse::Change, false, ""},
    };
    for (const Case& c : cases) {
        std::string resolved, inside;
        bool allowed = ResolveAllowed(c.path, roots, c.use, resolved, &inside);
        EXPECT_EQ(allowed, c.allowed) << c.path << " use " << int(c.use);
        if (allowed) {
            EXPECT_EQ(inside, real) << c.path;
            EXPECT_EQ(resolved, real + c.resolved) << c.path;
        }
    }
}

TEST(PictureRequests, BoxesAndNames) {
    uint32_t w = 0, h = 0;
    EXPECT_TRUE(ParseBox("200x150", w, h));
    EXPECT_EQ(w, 200u);
    EXPECT_EQ(h, 150u);
    for (const char* bad : {"", "200", "0x10", "10x0", "16385x10", "10x10x", "-1x5", "20X20", "a x b"})
        EXPECT_FALSE(ParseBox(bad, w, h)) << bad;
    EXPECT_TRUE(IsPictureName("Photo.JPG"));
    EXPECT_TRUE(IsPictureName("a.b.webp"));
    EXPECT_FALSE(IsPictureName("notes.txt"));
    EXPECT_FALSE(IsPictureName(".png"));
    EXPECT_FALSE(IsPictureName("png"));
}

}  // namespace
}  // namespace plover::web
