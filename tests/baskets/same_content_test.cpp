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

}  // namespace
}  // namespace plover
