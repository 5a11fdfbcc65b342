// Every format and variant the loader reads, from pictures built by the tests and from the
// committed fixtures in data/ (written by another encoder), checked for size and pixels.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>


#include "image/decoder.h"
#include "image/fixtures.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

bool Decode(const Bytes& file, SBitmap& out, std::string& error, SSize box = {}) {
    SDecodeOptions opt;
    opt.box = box;
    return DecodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), opt, out, error);
}

SRgba Grey(uint8_t v) { return {v, v, v, 255}; }
SRgba Mono(uint32_t x, uint32_t y) { return PatternIndex(x, y) % 2 ? Grey(255) : Grey(0); }
uint8_t Five(uint8_t v) { return uint8_t(((v >> 3) << 3) | (v >> 5)); }  // a channel through 5 bits
SRgba Pattern555(uint32_t x, uint32_t y) {
    SRgba c = PatternColour(x, y);
    return {Five(c.r), Five(c.g), Five(c.b), 255};
}
uint32_t Bgr(uint32_t x, uint32_t y) {
    SRgba c = PatternColour(x, y);
    return uint32_t(c.b) | (uint32_t(c.g) << 8) | (uint32_t(c.r) << 16);
}
uint32_t Rgb555(uint32_t x, uint32_t y) {
    SRgba c = PatternColour(x, y);
    return uint32_t((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
}
SRgba Smooth(uint32_t x, uint32_t y) { return {uint8_t(40 + x * 4), uint8_t(200 - y * 6), 90, 255}; }
uint32_t Idx(uint32_t x, uint32_t y) { return PatternIndex(x, y); }
uint32_t Bit(uint32_t x, uint32_t y) { return PatternIndex(x, y) % 2; }

struct SCase {
    const char* name;
    Bytes file;
    EImageFormat format;
    uint32_t bitDepth;
    std::function<SRgba(uint32_t, uint32_t)> expected;
    int tolerance = 0;
};

void RunCases(const std::vector<SCase>& cases) {
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(c.file, b, error)) << error;
        EXPECT_EQ(b.format, c.format);
        EXPECT_EQ(b.width, kPatternW);
        EXPECT_EQ(b.height, kPatternH);
        EXPECT_EQ(b.bitDepth, c.bitDepth);
        EXPECT_TRUE(PixelsMatch(b, c.expected, c.tolerance));
    }
}

constexpr uint32_t W = kPatternW, H = kPatternH;
const int32_t kW = int32_t(W), kH = int32_t(H);

TEST(DecodeBmp, EveryDepthAndLayout) {
    std::vector<SRgba> pal = Palette16(), mono = {Grey(0), Grey(255)};
    std::vector<SRgba> pal256 = pal;
    pal256.resize(256, Grey(7));
    RunCases({
        {"1 bit", MakeBmp({kW, kH, 1, 0, 40, mono, {}, 0, BmpRows(W, H, 1, false, Bit)}), EImageFormat::Bmp, 1, Mono},
        {"4 bits", MakeBmp({kW, kH, 4, 0, 40, pal, {}, 16, BmpRows(W, H, 4, false, Idx)}), EImageFormat::Bmp, 4, PatternColour},
        {"8 bits", MakeBmp({kW, kH, 8, 0, 40, pal256, {}, 0, BmpRows(W, H, 8, false, Idx)}), EImageFormat::Bmp, 8, PatternColour},
        {"8 bits top-down", MakeBmp({kW, -kH, 8, 0, 40, pal, {}, 16, BmpRows(W, H, 8, true, Idx)}), EImageFormat::Bmp, 8,
         PatternColour},
        {"16 bits 5-5-5", MakeBmp({kW, kH, 16, 0, 40, {}, {}, 0, BmpRows(W, H, 16, false, Rgb555)}), EImageFormat::Bmp, 16,
         Pattern555, 1},
        {"24 bits", MakeBmp({kW, kH, 24, 0, 40, {}, {}, 0, BmpRows(W, H, 24, false, Bgr)}), EImageFormat::Bmp, 24, PatternColour},
        {"32 bits, alpha byte ignored", MakeBmp({kW, kH, 32, 0, 40, {}, {}, 0, BmpRows(W, H, 32, false, [](uint32_t x, uint32_t y) {
              return Bgr(x, y) | 0x12000000u;
          })}),
         EImageFormat::Bmp, 32, PatternColour},
        {"32 bits, bit fields with alpha (V5 header)",
         MakeBmp({kW, -kH, 32, 3, 124, {}, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, 0,
                  BmpRows(W, H, 32, true, [](uint32_t x, uint32_t y) { return Bgr(x, y) | (x == 0 ? 0x80000000u : 0xFF000000u); })}),
         EImageFormat::Bmp, 32,
         [](uint32_t x, uint32_t y) {
             SRgba c = PatternColour(x, y);
             c.a = x == 0 ? 128 : 255;
             return c;
         }},
        {"OS/2 core header", MakeBmp({kW, kH, 8, 0, 12, pal, {}, 0, BmpRows(W, H, 8, false, Idx)}), EImageFormat::Bmp, 8,
         PatternColour},
    });
}

TEST(DecodeBmp, SixteenBitFields565) {
    Bytes file = MakeBmp({2, 1, 16, 3, 40, {}, {0xF800, 0x07E0, 0x001F}, 0, BmpRows(2, 1, 16, false, [](uint32_t x, uint32_t) {
                              return x == 0 ? 0xF800u : 0x07E0u;
                          })});
    SBitmap b;
    std::string error;
    ASSERT_TRUE(Decode(file, b, error)) << error;
    EXPECT_TRUE(PixelsMatch(b, [](uint32_t x, uint32_t) { return x == 0 ? SRgba{255, 0, 0, 255} : SRgba{0, 255, 0, 255}; }));
}

// RLE by hand: runs, literals (odd count, padded), end of line, delta, end of picture.
TEST(DecodeBmp, Rle8AndRle4) {
    std::vector<SRgba> pal = Palette16();
    // 6x3 bottom-up. Bottom row: a run of 4 x colour 2, runs of one 1 and one 3, end of line;
    // middle row: delta (2,0), a run of 2 x 5, end of line; top row: a literal group of 3
    // (4, 5, 6; padded in RLE8) and end of picture. Skipped pixels stay transparent.
    Bytes rle8 = Bytes("\x04\x02\x01\x01\x01\x03\x00\x00", 8) + Bytes("\x00\x02\x02\x00\x02\x05\x00\x00", 8) +
                 Bytes("\x00\x03\x04\x05\x06\x00\x00\x01", 8);
    Bytes rle4 = Bytes("\x04\x22\x01\x10\x01\x30\x00\x00", 8) + Bytes("\x00\x02\x02\x00\x02\x55\x00\x00", 8) +
                 Bytes("\x00\x03\x45\x60\x00\x01", 6);
    const SRgba none{0, 0, 0, 0};
    auto expected = [&](uint32_t x, uint32_t y) {
        static const int rows[3][6] = {{4, 5, 6, -1, -1, -1}, {-1, -1, 5, 5, -1, -1}, {2, 2, 2, 2, 1, 3}};
        int v = rows[y][x];
        return v < 0 ? none : pal[size_t(v)];
    };
    for (auto [name, compression, bpp, data] :
         {std::tuple{"RLE8", 1u, uint16_t(8), rle8}, std::tuple{"RLE4", 2u, uint16_t(4), rle4}}) {
        SCOPED_TRACE(name);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(MakeBmp({6, 3, bpp, compression, 40, pal, {}, 16, data}), b, error)) << error;
        EXPECT_EQ(b.bitDepth, bpp);
        EXPECT_TRUE(PixelsMatch(b, expected));
    }
}

TEST(DecodeGif, PlainInterlacedTransparentAndFullTable) {
    std::vector<uint8_t> indices;
    for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x) indices.push_back(PatternIndex(x, y));
    auto transparentZero = [](uint32_t x, uint32_t y) {
        return PatternIndex(x, y) == 0 ? SRgba{0, 0, 0, 0} : PatternColour(x, y);
    };
    RunCases({
        {"plain", MakeGif({W, H, Palette16(), false, -1, 4, true, indices}), EImageFormat::Gif, 4, PatternColour},
        {"interlaced", MakeGif({W, H, Palette16(), true, -1, 4, true, indices}), EImageFormat::Gif, 4, PatternColour},
        {"transparent colour 0", MakeGif({W, H, Palette16(), false, 0, 4, true, indices}), EImageFormat::Gif, 4, transparentZero},
        {"code size 8", MakeGif({W, H, Palette16(), false, -1, 8, true, indices}), EImageFormat::Gif, 4, PatternColour},
    });
    // A picture whose strings fill the 4096-entry table, once with clears and once without.
    std::vector<uint8_t> noise(200 * 150);
    uint32_t seed = 1;
    for (uint8_t& v : noise) v = uint8_t((seed = seed * 1103515245 + 12345) >> 16) % 16;
    for (bool clear : {true, false}) {
        SCOPED_TRACE(clear ? "clear when full" : "full table kept");
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(MakeGif({200, 150, Palette16(), false, -1, 4, clear, noise}), b, error)) << error;
        EXPECT_TRUE(PixelsMatch(b, [&](uint32_t x, uint32_t y) { return Palette16()[noise[y * 200 + x]]; }));
    }
}

TEST(DecodeGif, TheScreenClipsTheFrameAndAFirstFrameLargerThanItWidensIt) {
    // A 4x3 frame of colours 1 to 12, row by row, placed on a screen of its own size.
    std::vector<uint8_t> frame;
    for (uint8_t i = 1; i <= 12; ++i) frame.push_back(i);
    struct Case {
        const char* name;
        uint16_t screenW, screenH, left, top;
        uint32_t width, height;  // what the picture is
        uint32_t originX, originY;  // where the frame's first pixel lands (beyond the picture: nowhere)
    } cases[] = {
        {"inside the screen", 8, 8, 2, 3, 8, 8, 2, 3},
        {"over the right and bottom edges: clipped", 5, 4, 3, 2, 5, 4, 3, 2},
        {"wholly outside: nothing drawn", 6, 6, 40, 40, 6, 6, 40, 40},
        {"wider than the screen: the screen widens", 3, 8, 5, 5, 4, 8, 0, 0},
        {"a screen of 0x0 takes the frame's size", 0, 0, 0, 0, 4, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes gif = MakeGif({4, 3, Palette16(), false, -1, 4, true, frame});
        size_t desc = 13 + 16 * 3;  // header, screen, 16-colour table
        ASSERT_EQ(gif[desc], ',');
        auto put16 = [&](size_t at, uint16_t v) { gif[at] = char(v & 0xFF), gif[at + 1] = char(v >> 8); };
        put16(6, c.screenW), put16(8, c.screenH), put16(desc + 1, c.left), put16(desc + 3, c.top);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(gif, b, error)) << error;
        EXPECT_EQ(b.width, c.width);
        EXPECT_EQ(b.height, c.height);
        EXPECT_TRUE(PixelsMatch(b, [&](uint32_t x, uint32_t y) {
            bool inFrame = x >= c.originX && x < c.originX + 4 && y >= c.originY && y < c.originY + 3;
            return inFrame ? Palette16()[frame[(y - c.originY) * 4 + (x - c.originX)]] : SRgba{0, 0, 0, 0};
        }));
    }
}

TEST(DecodeTga, TrueColourMappedGreyRawAndRle) {
    Bytes bgr, bgra, idx, grey, grey16, rgb555;
    for (uint32_t i = 0; i < H; ++i)  // bottom-up file order for the bottom-left origin
        for (uint32_t x = 0; x < W; ++x) {
            uint32_t y = H - 1 - i;
            SRgba c = PatternColour(x, y);
            bgr += char(c.b), bgr += char(c.g), bgr += char(c.r);
            idx += char(PatternIndex(x, y) + 3);  // the map starts at index 3
            grey += char(c.g);
            grey16 += char(c.g), grey16 += char(x % 2 ? 255 : 0);
            Put16(rgb555, Rgb555(x, y) | 0x8000);
        }
    for (uint32_t y = 0; y < H; ++y)  // top-down and right-to-left, with alpha
        for (uint32_t x = W; x-- > 0;) {
            SRgba c = PatternColour(x, y);
            bgra += char(c.b), bgra += char(c.g), bgra += char(c.r), bgra += char(y == 0 ? 0 : 255);
        }
    auto greyOf = [](uint32_t x, uint32_t y) { return Grey(PatternColour(x, y).g); };
    RunCases({
        {"24 bits raw", MakeTga({2, W, H, 24, 0, 0, 24, {}, bgr}), EImageFormat::Tga, 24, PatternColour},
        {"24 bits RLE", MakeTga({10, W, H, 24, 0, 0, 24, {}, bgr}), EImageFormat::Tga, 24, PatternColour},
        {"32 bits top-left, right-to-left, alpha", MakeTga({2, W, H, 32, 0x38, 0, 24, {}, bgra}), EImageFormat::Tga, 32,
         [](uint32_t x, uint32_t y) {
             SRgba c = PatternColour(x, y);
             c.a = y == 0 ? 0 : 255;
             return c;
         }},
        {"16 bits 5-5-5", MakeTga({2, W, H, 16, 0, 0, 24, {}, rgb555}), EImageFormat::Tga, 16, Pattern555},
        {"colour-mapped", MakeTga({1, W, H, 8, 0, 3, 24, Palette16(), idx}), EImageFormat::Tga, 8, PatternColour},
        {"colour-mapped RLE", MakeTga({9, W, H, 8, 0, 3, 24, Palette16(), idx}), EImageFormat::Tga, 8, PatternColour},
        {"grey", MakeTga({3, W, H, 8, 0, 0, 24, {}, grey}), EImageFormat::Tga, 8, greyOf},
        {"grey RLE with alpha", MakeTga({11, W, H, 16, 8, 0, 24, {}, grey16}), EImageFormat::Tga, 16,
         [&](uint32_t x, uint32_t y) {
             SRgba c = greyOf(x, y);
             c.a = x % 2 ? 255 : 0;
             return c;
         }},
    });
}

TEST(DecodePcx, MonoSixteenColoursPaletteAndTrueColour) {
    auto rgb = [](uint32_t x, uint32_t y) { return Bgr(x, y); };  // 0xRRGGBB
    auto rgba = [](uint32_t x, uint32_t y) { return Bgr(x, y) | (x == 1 ? 0x40000000u : 0xFF000000u); };
    RunCases({
        {"1 bit", MakePcx({W, H, 1, 1, {}, {}, Bit}), EImageFormat::Pcx, 1, Mono},
        {"1 bit x 4 planes", MakePcx({W, H, 1, 4, Palette16(), {}, Idx}), EImageFormat::Pcx, 4, PatternColour},
        {"4 bits", MakePcx({W, H, 4, 1, Palette16(), {}, Idx}), EImageFormat::Pcx, 4, PatternColour},
        {"8 bits with palette", MakePcx({W, H, 8, 1, {}, Palette16(), Idx}), EImageFormat::Pcx, 8, PatternColour},
        {"24 bits", MakePcx({W, H, 8, 3, {}, {}, rgb}), EImageFormat::Pcx, 24, PatternColour},
        {"32 bits", MakePcx({W, H, 8, 4, {}, {}, rgba}), EImageFormat::Pcx, 32,
         [](uint32_t x, uint32_t y) {
             SRgba c = PatternColour(x, y);
             c.a = x == 1 ? 0x40 : 255;
             return c;
         }},
    });
}

TEST(DecodeLibraries, JpegPngTiff) {
    std::vector<Bytes> grey1, palRows, grey16;
    for (uint32_t y = 0; y < H; ++y) {
        Bytes g((W + 7) / 8, '\0'), p, g16;
        for (uint32_t x = 0; x < W; ++x) {
            if (Bit(x, y)) g[x / 8] = char(uint8_t(g[x / 8]) | (0x80 >> (x % 8)));
            p += char(PatternIndex(x, y));
            g16 += char(PatternColour(x, y).g), g16 += '\x80';
        }
        grey1.push_back(g), palRows.push_back(p), grey16.push_back(g16);
    }
    Bytes trns(16, '\xFF');
    trns[1] = '\x40';
    RunCases({
        {"JPEG colour", MakeJpeg(W, H, 3, Smooth), EImageFormat::Jpeg, 24, Smooth, 10},
        {"JPEG grey", MakeJpeg(W, H, 1, [](uint32_t x, uint32_t) { return Grey(uint8_t(x * 6)); }), EImageFormat::Jpeg, 8,
         [](uint32_t x, uint32_t) { return Grey(uint8_t(x * 6)); }, 12},
        {"JPEG Adobe CMYK", MakeJpeg(W, H, 3, [](uint32_t, uint32_t) { return SRgba{220, 40, 30, 255}; }, 95, true),
         EImageFormat::Jpeg, 32, [](uint32_t, uint32_t) { return SRgba{220, 40, 30, 255}; }, 6},
        {"PNG RGBA", MakePngRgba(W, H, PatternColour), EImageFormat::Png, 32, PatternColour},
        {"PNG grey 1 bit", MakePngRaw(W, H, PNG_COLOR_TYPE_GRAY, 1, false, grey1), EImageFormat::Png, 1, Mono},
        {"PNG palette with transparency", MakePngRaw(W, H, PNG_COLOR_TYPE_PALETTE, 8, false, palRows, Palette16(), trns),
         EImageFormat::Png, 8,
         [](uint32_t x, uint32_t y) {
             SRgba c = PatternColour(x, y);
             if (PatternIndex(x, y) == 1) c.a = 0x40;
             return c;
         }},
        {"PNG grey 16 bits interlaced", MakePngRaw(W, H, PNG_COLOR_TYPE_GRAY, 16, true, grey16), EImageFormat::Png, 16,
         [](uint32_t x, uint32_t y) { return Grey(PatternColour(x, y).g); }, 1},
        {"TIFF RGB", MakeTiffRgb(W, H, PatternColour, COMPRESSION_NONE), EImageFormat::Tiff, 24, PatternColour},
        {"TIFF RGB deflate", MakeTiffRgb(W, H, PatternColour, COMPRESSION_ADOBE_DEFLATE), EImageFormat::Tiff, 24, PatternColour},
    });
}

// Pictures written by another encoder (data/make_fixtures.sh) from the same pattern.
TEST(DecodeFixtures, FilesOfAnotherEncoder) {
    const char* names[] = {"im_plain.gif", "im_interlaced.gif", "im_rle24.tga", "im_raw24.tga", "im_rle8map.tga",
                           "im_24.pcx",    "im_8.pcx",          "im_rle8.bmp",  "im_24.bmp",    "im_8.bmp"};
    std::string dir = PLOVER_IMAGE_DATA;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Bytes file = ReadFile(dir + name);
        ASSERT_FALSE(file.empty());
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(file, b, error)) << error;
        EXPECT_EQ(b.width, W);
        EXPECT_EQ(b.height, H);
        EXPECT_TRUE(PixelsMatch(b, PatternColour));
    }
}

// DCT scaling: a 1600x1200 JPEG for a 200x200 box is decoded at 1/8, 200x150, with its own size kept.
TEST(DecodeJpeg, ShrinksWhileDecoding) {
    Bytes file = MakeJpeg(1600, 1200, 3, [](uint32_t x, uint32_t) { return x < 800 ? SRgba{250, 0, 0, 255} : SRgba{0, 0, 250, 255}; }, 85);
    SBitmap b;
    std::string error;
    ASSERT_TRUE(Decode(file, b, error, {200, 200})) << error;
    EXPECT_EQ(b.width, 200u);
    EXPECT_EQ(b.height, 150u);
    EXPECT_EQ(b.sourceWidth, 1600u);
    EXPECT_EQ(b.sourceHeight, 1200u);
    EXPECT_TRUE(PixelsMatch(b, [](uint32_t x, uint32_t) { return x < 100 ? SRgba{250, 0, 0, 255} : SRgba{0, 0, 250, 255}; }, 40));
    // A box the picture needs 3/8 for: never decoded smaller than the fitted size.
    ASSERT_TRUE(Decode(file, b, error, {500, 500})) << error;
    EXPECT_EQ(b.width, 600u);
    EXPECT_EQ(b.height, 450u);
}

}  // namespace
}  // namespace plover::test
