// Which file of a folder has the same content as a new one: size first, then SHA-256.
#include "baskets/same_content.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testutil/temp_dir.h"

namespace plover {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(SameContent, OnlyAFileOfTheSameBytesInTheSameFolderIsFound) {
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    WriteFile(dir / "new.jpg", "picture-bytes");
    WriteFile(dir / "same-size.jpg", "picture-BYTES");   // same size, other content
    WriteFile(dir / "longer.jpg", "picture-bytes!");     // same start, other size
    WriteFile(dir / "sub" / "copy.jpg", "picture-bytes");  // not in the folder itself
    EXPECT_EQ(FindSameContent((dir / "new.jpg").string()), "");

    WriteFile(dir / "copy.jpg", "picture-bytes");
    EXPECT_EQ(FindSameContent((dir / "new.jpg").string()), (dir / "copy.jpg").string());
    EXPECT_EQ(FindSameContent((dir / "missing.jpg").string()), "");

    EXPECT_EQ(Sha256OfFile((dir / "new.jpg").string()), Sha256OfFile((dir / "copy.jpg").string()));
    EXPECT_NE(Sha256OfFile((dir / "new.jpg").string()), Sha256OfFile((dir / "same-size.jpg").string()));
    EXPECT_EQ(Sha256OfFile((dir / "new.jpg").string())->size(), 32u);
}

// The finder reads a folder once: what it let stay is found again at once, what others changed
// is looked at on disk, and what others added is met once the folder is read afresh.
TEST(SameContent, TheFinderKeepsAFoldersSizesAndChecksThemOnDisk) {
    TempDir dir;
    CSameContentFinder finder;
    auto now = CSameContentFinder::Clock::now();
    auto path = [&](const char* name) { return (dir / name).string(); };
    WriteFile(dir / "a.jpg", "first-picture");
    WriteFile(dir / "b.jpg", "other-picture");  // same size, other content
    EXPECT_EQ(finder.Find(path("a.jpg"), now), "");
    EXPECT_EQ(finder.Find(path("b.jpg"), now), "");

    WriteFile(dir / "a2.jpg", "first-picture");  // this run's second copy
    EXPECT_EQ(finder.Find(path("a2.jpg"), now), path("a.jpg"));
    std::filesystem::remove(dir / "a2.jpg");

    std::filesystem::remove(dir / "a.jpg");  // gone since the folder was read
    WriteFile(dir / "a3.jpg", "first-picture");
    EXPECT_EQ(finder.Find(path("a3.jpg"), now), "");

    WriteFile(dir / "c.jpg", "third-picture!");  // put there by somebody else
    WriteFile(dir / "c2.jpg", "third-picture!");
    EXPECT_EQ(finder.Find(path("c2.jpg"), now + CSameContentFinder::kMaxAge), path("c.jpg"));
    EXPECT_EQ(finder.Find(path("missing.jpg"), now), "");
}

}  // namespace
}  // namespace plover
