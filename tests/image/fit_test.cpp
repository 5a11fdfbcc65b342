#include <gtest/gtest.h>

#include "image/fit.h"
#include "image/fixtures.h"
#include "image/png_writer.h"
#include "image/decoder.h"

namespace plover::test {
namespace {

TEST(FitToBox, TheFittingTable) {
    struct {
        uint32_t w, h, bw, bh, fw, fh;
    } rows[] = {
        {1000, 10, 100, 100, 100, 1},  // wide: the box's width, height truncated
        {10, 1000, 100, 100, 1, 100},  // tall
        {50, 50, 100, 100, 50, 50},    // fits: stays
        {100, 100, 100, 100, 100, 100},
        {2000, 1500, 200, 200, 200, 150},
        {1500, 2000, 200, 200, 150, 200},
        {300, 300, 200, 100, 100, 100},  // taller ratio rules
        {400, 200, 200, 100, 200, 100},  // equal ratios: the box itself
        {199, 3000, 200, 200, 13, 200},  // 199 / 15 = 13.27 truncated
        {5000, 1, 100, 100, 100, 1},     // 1 / 50 = 0.02 becomes 1
        {0, 500, 100, 100, 0, 0},        // a zero side fits to 0 x 0
        {500, 0, 100, 100, 0, 0},
    };
    for (auto& r : rows) {
        SSize s = FitToBox(r.w, r.h, r.bw, r.bh);
        EXPECT_EQ(s, (SSize{r.fw, r.fh})) << r.w << "x" << r.h << " in " << r.bw << "x" << r.bh;
    }
}

SBitmap Filled(uint32_t w, uint32_t h, const std::function<SRgba(uint32_t, uint32_t)>& colour) {
    SBitmap b;
    b.Allocate(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) PutRgba(b.Row(y), x, colour(x, y));
    return b;
}

TEST(Resample, AveragesTheAreaEachPixelCovers) {
    // A one-pixel checkerboard becomes even grey, not a sample of black or white.
    SBitmap checker = Filled(8, 8, [](uint32_t x, uint32_t y) { return (x + y) % 2 ? SRgba{255, 255, 255, 255} : SRgba{0, 0, 0, 255}; });
    SBitmap small = Resample(checker, 2, 2);
    EXPECT_TRUE(PixelsMatch(small, [](uint32_t, uint32_t) { return SRgba{128, 128, 128, 255}; }, 1));
    // 3 -> 2: the middle pixel is shared half and half.
    SBitmap row = Filled(3, 1, [](uint32_t x, uint32_t) { return x == 1 ? SRgba{0, 0, 0, 255} : SRgba{240, 240, 240, 255}; });
    EXPECT_TRUE(PixelsMatch(Resample(row, 2, 1), [](uint32_t, uint32_t) { return SRgba{160, 160, 160, 255}; }, 1));
}

TEST(Resample, TransparentPixelsLendNoColour) {
    SBitmap b = Filled(2, 1, [](uint32_t x, uint32_t) { return x == 0 ? SRgba{255, 0, 0, 255} : SRgba{0, 255, 0, 0}; });
    EXPECT_TRUE(PixelsMatch(Resample(b, 1, 1), [](uint32_t, uint32_t) { return SRgba{255, 0, 0, 128}; }, 1));
}

TEST(PngWriter, RoundTripsAndDropsAnUnusedAlpha) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "RGBA" : "RGB");
        SBitmap b = Filled(kPatternW, kPatternH, [&](uint32_t x, uint32_t y) {
            SRgba c = PatternColour(x, y);
            if (alpha && x == 3) c.a = 77;
            return c;
        });
        std::vector<uint8_t> png;
        std::string error;
        ASSERT_TRUE(EncodePng(b, png, error)) << error;
        EXPECT_EQ(png[25], alpha ? 6 : 2);  // IHDR colour type
        SBitmap back;
        ASSERT_TRUE(DecodeImage(png.data(), png.size(), SDecodeOptions{}, back, error)) << error;
        EXPECT_EQ(back.bitDepth, alpha ? 32u : 24u);
        EXPECT_EQ(back.pixels, b.pixels);
    }
}

}  // namespace
}  // namespace plover::test
