// WebP and AVIF as other encoders write them (cwebp, img2webp and avifenc, see
// data/make_webp_avif.sh); of an animation the first frame is shown. They are
// recognised by content, decoded to their size and block colours, and failing with a reason
// when cut short, garbled or larger than the pixel limit.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/decoder.h"
#include "image/image_loader.h"
#include "image/fixtures.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

constexpr uint32_t kW = 16, kH = 12;

Bytes Fixture(const char* name) { return ReadFile(std::string(PLOVER_IMAGE_DATA) + name); }

bool Decode(const Bytes& file, SBitmap& out, std::string& error, uint64_t maxPixels = kMaxPixels) {
    SDecodeOptions opt;
    opt.maxPixels = maxPixels;
    return DecodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), opt, out, error);
}

// The fixtures' pattern: red, blue / green, white blocks; with alpha the right half is clear.
SRgba Blocks(uint32_t x, uint32_t y, bool alpha) {
    bool top = y < kH / 2, left = x < kW / 2;
    SRgba c = top ? (left ? SRgba{255, 0, 0, 255} : SRgba{0, 0, 255, 255})
                  : (left ? SRgba{0, 255, 0, 255} : SRgba{255, 255, 255, 255});
    if (alpha && !left) c.a = 0;
    return c;
}

// Every pixel within `tolerance` of the pattern; the colour of a clear pixel does not matter.
// Lossy files (tolerance above 0) blur the colours where blocks meet: there only the pixels two
// or more away from a block's edge are compared.
::testing::AssertionResult BlocksMatch(const SBitmap& b, bool alpha, int tolerance) {
    auto nearEdge = [&](uint32_t v, uint32_t half) { return tolerance > 0 && v + 2 >= half && v < half + 2; };
    for (uint32_t y = 0; y < b.height; ++y) {
        for (uint32_t x = 0; x < b.width; ++x) {
            if (nearEdge(x, kW / 2) || nearEdge(y, kH / 2)) continue;
            SRgba want = Blocks(x, y, alpha), got = PixelAt(b, x, y);
            bool near = std::abs(want.a - got.a) <= tolerance;
            if (want.a != 0) {
                near = near && std::abs(want.r - got.r) <= tolerance && std::abs(want.g - got.g) <= tolerance &&
                       std::abs(want.b - got.b) <= tolerance;
            }
            if (!near) {
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << int(got.r) << "," << int(got.g) << "," << int(got.b)
                       << "," << int(got.a) << ", expected " << int(want.r) << "," << int(want.g) << ","
                       << int(want.b) << "," << int(want.a);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

struct SFixture {
    const char* name;
    EImageFormat format;
    bool alpha;
    int tolerance;  // 0 for lossless files
};

const SFixture kFixtures[] = {
    {"im_lossy.webp", EImageFormat::Webp, false, 24},  {"im_lossless.webp", EImageFormat::Webp, false, 0},
    {"im_alpha.webp", EImageFormat::Webp, true, 24},   {"im_animated.webp", EImageFormat::Webp, false, 0},
    {"im_lossy.avif", EImageFormat::Avif, false, 24},
    {"im_lossless.avif", EImageFormat::Avif, false, 0}, {"im_alpha.avif", EImageFormat::Avif, true, 24},
};

TEST(DecodeWebpAvif, FilesOfOtherEncodersGiveTheirSizeAndColours) {
    for (const SFixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        Bytes file = Fixture(f.name);
        ASSERT_FALSE(file.empty());
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(file, b, error)) << error;
        EXPECT_EQ(b.format, f.format);
        EXPECT_EQ(b.width, kW);
        EXPECT_EQ(b.height, kH);
        EXPECT_EQ(b.HasTransparency(), f.alpha);
        EXPECT_TRUE(BlocksMatch(b, f.alpha, f.tolerance));
    }
}

TEST(DecodeWebpAvif, RecognisedByContentOnly) {
    auto box = [](const std::string& major, const std::string& compatible) {
        std::string brands = major + std::string(4, '\0') + compatible;
        uint32_t size = uint32_t(8 + brands.size());
        std::string b = {char(size >> 24), char(size >> 16), char(size >> 8), char(size)};
        return b + "ftyp" + brands + std::string(16, '\0');
    };
    struct {
        const char* what;
        Bytes head;
        EImageFormat format;
    } cases[] = {
        {"RIFF WEBP", Bytes("RIFF\x10\0\0\0WEBPVP8 ", 16), EImageFormat::Webp},
        {"RIFF WAVE", Bytes("RIFF\x10\0\0\0WAVEfmt ", 16), EImageFormat::Unknown},
        {"avif major brand", box("avif", "mif1"), EImageFormat::Avif},
        {"avis major brand", box("avis", "msf1"), EImageFormat::Avif},
        {"avif compatible brand", box("mif1", "miafavif"), EImageFormat::Avif},
        {"HEIC is not AVIF", box("heic", "mif1heic"), EImageFormat::Unknown},
        // A brand past the box's own end belongs to the next box.
        {"brand after the box", Bytes("\0\0\0\x10" "ftypmif1\0\0\0\0avif", 20), EImageFormat::Unknown},
        {"box size beyond the data", Bytes("\xFF\xFF\xFF\xFF" "ftypmif1\0\0\0\0mif1avi", 23), EImageFormat::Unknown},
    };
    for (auto& c : cases) {
        EXPECT_EQ(DetectImageFormat(reinterpret_cast<const uint8_t*>(c.head.data()), c.head.size()), c.format)
            << c.what;
    }
}

// Cut short at several points, the picture data overwritten with junk, or above the pixel
// limit: a false return with a reason and no pixels, never a crash (the tests run under
// AddressSanitizer).
TEST(DecodeWebpAvif, BrokenFilesFailWithAReason) {
    for (const SFixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        Bytes file = Fixture(f.name);
        ASSERT_GT(file.size(), 40u);
        std::vector<Bytes> broken = {file.substr(0, 12), file.substr(0, 30), file.substr(0, file.size() / 2),
                                     file.substr(0, file.size() - 1)};
        Bytes garbage = file;
        for (size_t i = 32; i < garbage.size(); ++i) garbage[i] = char(i * 7919 % 251);
        broken.push_back(garbage);
        for (size_t i = 0; i < broken.size(); ++i) {
            SBitmap b;
            std::string error;
            EXPECT_FALSE(Decode(broken[i], b, error)) << "variant " << i;
            EXPECT_FALSE(error.empty()) << "variant " << i;
            EXPECT_TRUE(b.pixels.empty()) << "variant " << i;
        }
        SBitmap b;
        std::string error;
        EXPECT_FALSE(Decode(file, b, error, kW * kH - 1));
        EXPECT_NE(error.find("too large"), std::string::npos) << error;
    }
}

// The thumbnails' and viewer's path: the loader thread reads the file and fits it into a box.
TEST(DecodeWebpAvif, LoaderFitsThemIntoABox) {
    CImageLoader loader;
    for (const char* name : {"im_lossless.webp", "im_alpha.avif"}) {
        SCOPED_TRACE(name);
        CBRImage image;
        SSize box{8, 8};
        ASSERT_TRUE(loader.Load(&image, std::string(PLOVER_IMAGE_DATA) + name, &box, nullptr, false));
        ASSERT_TRUE(image.IsLoaded()) << image.GetError();
        EXPECT_EQ(image.GetWidth(), 8u);
        EXPECT_EQ(image.GetHeight(), 6u);
        EXPECT_EQ(image.GetSourceWidth(), kW);
        EXPECT_EQ(image.GetSourceHeight(), kH);
    }
}

}  // namespace
}  // namespace plover::test
