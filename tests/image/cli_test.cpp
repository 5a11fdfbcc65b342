// plover info and plover thumb as a user runs them: the real executable of the build tree on
// pictures made here, checked for its lines, its files and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "image/decoder.h"
#include "image/fixtures.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

struct SRun {
    int status = -1;
    std::string out;
};

// The plover of this build tree (built with everything else by the test command).
std::string PloverPath() { return PLOVER_EXECUTABLE; }

SRun RunPlover(const std::string& args) {
    SRun r;
    FILE* p = popen((PloverPath() + " " + args + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(PloverPath()))
            GTEST_SKIP() << "the plover executable is not built in this tree";
        WriteFile(dir / "wide.gif", MakeGif({1000, 10, Palette16(), false, -1, 4, true, std::vector<uint8_t>(10000, 2)}));
        WriteFile(dir / "note.txt", "not a picture");
        std::filesystem::create_directory(dir / "b");
        WriteFile(dir / "b" / "wide.jpg", MakeJpeg(300, 60, 3, [](uint32_t, uint32_t) { return SRgba{10, 200, 10, 255}; }));
    }
    std::string P(const std::string& name) { return "'" + (dir / name).string() + "'"; }
    TempDir dir;
};

TEST_F(CliTest, InfoNamesFormatSizeAndDepthOrTheReason) {
    SRun r = RunPlover("info " + P("wide.gif") + " " + P("b/wide.jpg") + " " + P("note.txt"));
    EXPECT_EQ(r.status, 1);  // one file could not be decoded
    EXPECT_NE(r.out.find("wide.gif: GIF, 1000x10, 4 bits per pixel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("wide.jpg: JPEG, 300x60, 24 bits per pixel\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("note.txt: cannot decode: unknown format\n"), std::string::npos) << r.out;
    EXPECT_EQ(RunPlover("info " + P("wide.gif")).status, 0);
}

TEST_F(CliTest, ThumbFitsTheBoxAndKeepsEveryName) {
    SRun r = RunPlover("thumb " + P("wide.gif") + " " + P("b/wide.jpg") + " --size 100x100 --out " + P("out"));
    ASSERT_EQ(r.status, 0) << r.out;
    struct {
        const char* name;
        uint32_t w, h;
    } expected[] = {{"out/wide.png", 100, 1}, {"out/wide-2.png", 100, 20}};
    for (auto& e : expected) {
        SCOPED_TRACE(e.name);
        Bytes png = ReadFile(dir / e.name);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(DecodeImage(reinterpret_cast<const uint8_t*>(png.data()), png.size(), {}, b, error)) << error;
        EXPECT_EQ(b.format, EImageFormat::Png);
        EXPECT_EQ(b.width, e.w);
        EXPECT_EQ(b.height, e.h);
    }
    EXPECT_EQ(RunPlover("thumb " + P("note.txt") + " --out " + P("out")).status, 1);
    EXPECT_EQ(RunPlover("thumb " + P("wide.gif") + " --size 100 --out " + P("out")).status, 2);
}

// The WebP and AVIF fixtures of other encoders, through the executable.
TEST_F(CliTest, InfoAndThumbReadWebpAndAvif) {
    for (const char* name : {"im_alpha.webp", "im_lossy.avif"}) {
        std::filesystem::copy_file(std::string(PLOVER_IMAGE_DATA) + name, dir / name);
    }
    SRun info = RunPlover("info " + P("im_alpha.webp") + " " + P("im_lossy.avif"));
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("im_alpha.webp: WebP, 16x12, 32 bits per pixel\n"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("im_lossy.avif: AVIF, 16x12, 24 bits per pixel\n"), std::string::npos) << info.out;

    SRun thumb = RunPlover("thumb " + P("im_alpha.webp") + " " + P("im_lossy.avif") + " --size 8x8 --out " + P("out"));
    ASSERT_EQ(thumb.status, 0) << thumb.out;
    for (const char* name : {"out/im_alpha.png", "out/im_lossy.png"}) {
        SCOPED_TRACE(name);
        Bytes png = ReadFile(dir / name);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(DecodeImage(reinterpret_cast<const uint8_t*>(png.data()), png.size(), {}, b, error)) << error;
        EXPECT_EQ(b.width, 8u);
        EXPECT_EQ(b.height, 6u);
    }
}

}  // namespace
}  // namespace plover::test
