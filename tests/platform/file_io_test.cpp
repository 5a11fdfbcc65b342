#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "testutil/temp_dir.h"

namespace plover {
namespace {

std::string Read(const std::string& path) {
    std::string text;
    EXPECT_EQ(ReadWholeFile(path, &text), 0) << path;
    return text;
}

size_t FilesIn(const std::filesystem::path& folder) {
    size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder)) ++n;
    return n;
}

TEST(FileIo, SaveReplacesTheFileWithTheModeAskedAndLeavesNothingBeside) {
    test::TempDir dir;
    const std::string file = (dir.Path() / "list").string();
    struct {
        SSaveOptions options;
        std::string text;
        mode_t mode;
    } cases[] = {{{}, "first", 0600}, {{0644, false}, std::string(200000, 'x'), 0644}, {{}, "", 0600}};
    for (auto& c : cases) {
        ASSERT_TRUE(SaveFileAtomically(file, c.text, c.options));
        EXPECT_EQ(Read(file), c.text);
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.mode);
        EXPECT_EQ(FilesIn(dir.Path()), 1u);
    }
}

TEST(FileIo, ASaveIntoAMissingFolderSaysWhere) {
    test::TempDir dir;
    std::string why;
    EXPECT_FALSE(SaveFileAtomically((dir.Path() / "gone" / "settings").string(), "new", {}, &why));
    EXPECT_NE(why.find("cannot create a file in " + (dir.Path() / "gone").string()), std::string::npos) << why;
}

// The rename is the last step: when it fails, what was there stays and the new file goes.
TEST(FileIo, ASaveOverAFolderFailsAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.Path() / "taken");
    ASSERT_TRUE(SaveFileAtomically((dir.Path() / "taken" / "x").string(), "inside"));
    std::string why;
    EXPECT_FALSE(SaveFileAtomically((dir.Path() / "taken").string(), "text", {}, &why));
    EXPECT_NE(why.find("cannot write"), std::string::npos) << why;
    EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST(FileIo, ReadWholeFileTellsWhatWentWrong) {
    test::TempDir dir;
    const std::string file = (dir.Path() / "f").string();
    ASSERT_TRUE(SaveFileAtomically(file, "0123456789"));
    std::string text = "stale";
    struct {
        std::string path;
        uint64_t max;
        int err;
    } cases[] = {{file, 10, 0}, {file, 9, EFBIG}, {(dir.Path() / "none").string(), 100, ENOENT},
                 {dir.Str(), 100, EISDIR}};
    for (auto& c : cases) EXPECT_EQ(ReadWholeFile(c.path, &text, c.max), c.err) << c.path << " " << c.max;
    EXPECT_EQ(ReadWholeFile(file, &text), 0);
    EXPECT_EQ(text, "0123456789");
}

}  // namespace
}  // namespace plover
