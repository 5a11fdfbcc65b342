// Broken and hostile files: each either fails with a reason or decodes what is there, and
// never reads or writes out of bounds (the test binary runs under AddressSanitizer).
#include <gtest/gtest.h>

#include "image/br_image.h"
#include "image/decoder.h"
#include "image/fixtures.h"
#include "testutil/temp_dir.h"

namespace plover::test {
namespace {

bool Decode(const Bytes& file, SBitmap& out, std::string& error) {
    return DecodeImage(reinterpret_cast<const uint8_t*>(file.data()), file.size(), SDecodeOptions{}, out, error);
}

Bytes Gif16(uint16_t w, uint16_t h, std::vector<uint8_t> indices) { return MakeGif({w, h, Palette16(), false, -1, 4, true, indices}); }

std::vector<uint8_t> Repeat(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

struct SBad {
    const char* name;
    Bytes file;
    const char* error;  // expected reason, "" when the file must decode
};

TEST(HostileInput, FailsWithAReasonOrDecodesWhatIsThere) {
    Bytes hugeBmp = MakeBmp({100000, 100000, 24, 0, 40, {}, {}, 0, Bytes(64, '\0')});
    Bytes shortBmp = MakeBmp({4, 4, 24, 0, 40, {}, {}, 0, Bytes(40, '\0')});
    Bytes gif = Gif16(8, 8, Repeat(64, 3));
    Bytes gifBigScreen = gif;
    gifBigScreen[6] = gifBigScreen[7] = gifBigScreen[8] = gifBigScreen[9] = '\xFF';
    Bytes gifBadCodeSize = GifWithLzw(8, 8, 12, Bytes(4, '\0'));
    Bytes png = MakePngRgba(8, 8, [](uint32_t, uint32_t) { return SRgba{1, 2, 3, 255}; });
    Bytes pngBadCrc = png;
    pngBadCrc[29] ^= 1;  // inside IHDR's CRC
    Bytes jpeg = MakeJpeg(64, 64, 3, [](uint32_t x, uint32_t y) { return SRgba{uint8_t(x * y), uint8_t(x * 7), uint8_t(y * 5), 255}; });
    Bytes tgaShort = MakeTga({2, 4, 4, 24, 0, 0, 24, {}, Bytes(30, '\0')});
    Bytes pcxNarrowLines = MakePcx({16, 2, 8, 1, {}, {}, [](uint32_t, uint32_t) { return 1u; }});
    pcxNarrowLines[66] = 4, pcxNarrowLines[67] = 0;  // 4 bytes a line for 16 pixels
    Bytes pcxHuge = pcxNarrowLines;
    pcxHuge[8] = 0x00, pcxHuge[9] = 0x08, pcxHuge[10] = pcxHuge[11] = '\xFF';  // 2049 x 65536
    pcxHuge[66] = 0x00, pcxHuge[67] = 0x09;
    Bytes wmf = Bytes("\xD7\xCD\xC6\x9A", 4) + Bytes(40, '\0');
    Bytes emf = Bytes("\x01\0\0\0", 4) + Bytes(36, '\0') + " EMF" + Bytes(40, '\0');

    std::vector<SBad> cases = {
        {"empty file", "", "unknown format"},
        {"text", "hello, this is not a picture at all", "unknown format"},
        {"placeable metafile", wmf, "Windows metafiles cannot be decoded"},
        {"enhanced metafile", emf, "Windows metafiles cannot be decoded"},
        {"BMP of 10 gigapixels", hugeBmp, "picture too large (100000x100000)"},
        {"BMP with rows missing", shortBmp, "truncated pixel data"},
        {"BMP cut inside its header", Bytes("BM\x40\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x04\0", 20), "truncated header"},
        {"BMP of 0 x 0", MakeBmp({0, 0, 24, 0, 40, {}, {}, 0, ""}), "empty picture (0x0)"},
        {"BMP 64 bits", MakeBmp({1, 1, 64, 0, 40, {}, {}, 0, Bytes(8, '\0')}), "unsupported bitmap layout (64 bits, compression 0)"},
        {"GIF with a screen of 4 gigapixels", gifBigScreen, "picture too large (65535x65535)"},
        {"GIF with LZW code size 12", gifBadCodeSize, "bad LZW code size"},
        {"GIF without an image", Bytes("GIF89a\x01\0\x01\0\0\0\0;", 14), "no picture in the file"},
        {"GIF cut in its colour table", gif.substr(0, 30), "truncated colour table"},
        {"GIF cut in its data", gif.substr(0, gif.size() - 6), ""},
        {"PNG cut short", png.substr(0, png.size() / 2), "truncated data"},
        {"PNG with a bad header CRC", pngBadCrc, "IHDR: CRC error"},
        {"JPEG header only", jpeg.substr(0, 20), "*"},
        {"JPEG cut in its data", jpeg.substr(0, jpeg.size() - 40), ""},
        {"TIFF header only", Bytes("II*\0\x08\0\0\0", 8), "*"},
        {"TGA with pixels missing", tgaShort, "truncated pixel data"},
        {"PCX with lines too short", pcxNarrowLines, "bad line length"},
        {"PCX of 4 gigapixels", pcxHuge, "picture too large (2049x65536)"},
    };
    for (const SBad& c : cases) {
        SCOPED_TRACE(c.name);
        SBitmap b;
        std::string error;
        bool ok = Decode(c.file, b, error);
        if (std::string(c.error).empty()) {
            EXPECT_TRUE(ok) << error;
        } else {
            EXPECT_FALSE(ok);
            EXPECT_TRUE(b.pixels.empty());
            if (std::string(c.error) != "*") EXPECT_EQ(error, c.error);
            else EXPECT_FALSE(error.empty());
        }
    }
}

// Indexes beyond the colours declared read black; runs beyond the row or picture are clipped.
TEST(HostileInput, PaletteIndexesAndRunsOutOfRange) {
    // BMP: two colours declared, index 9 used.
    Bytes bmp = MakeBmp({2, 1, 8, 0, 40, {{255, 0, 0, 255}, {0, 255, 0, 255}}, {}, 2, Bytes("\x01\x09\0\0", 4)});
    // BMP RLE8: a run of 200 in a row of 3, a delta far below the picture.
    Bytes rle = MakeBmp({3, 2, 8, 1, 40, Palette16(), {}, 16, Bytes("\xC8\x02\x00\x00\x00\x02\xFF\xFF\x03\x01", 10)});
    // TGA RLE: a run of 128 in a picture of 4 pixels, colour-map index beyond the map.
    STgaSpec tga{9, 2, 2, 8, 0, 0, 24, {{1, 2, 3, 255}}, Bytes("\x07\x07\x07\x07", 4)};
    Bytes tgaFile = MakeTga(tga);
    Bytes tgaRun = MakeTga({10, 2, 2, 24, 0, 0, 24, {}, ""}) + Bytes("\xFF\x10\x20\x30", 4);
    struct {
        const char* name;
        Bytes file;
        std::function<SRgba(uint32_t, uint32_t)> expected;
    } cases[] = {
        {"BMP index beyond the palette", bmp,
         [](uint32_t x, uint32_t) { return x == 0 ? SRgba{0, 255, 0, 255} : SRgba{0, 0, 0, 255}; }},
        {"BMP RLE run past the row", rle,
         [](uint32_t, uint32_t y) { return y == 1 ? Palette16()[2] : SRgba{0, 0, 0, 0}; }},
        {"TGA index beyond the map", tgaFile, [](uint32_t, uint32_t) { return SRgba{0, 0, 0, 255}; }},
        {"TGA run past the end", tgaRun, [](uint32_t, uint32_t) { return SRgba{0x30, 0x20, 0x10, 255}; }},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        SBitmap b;
        std::string error;
        ASSERT_TRUE(Decode(c.file, b, error)) << error;
        EXPECT_TRUE(PixelsMatch(b, c.expected));
    }
}

// LZW codes that the table does not hold yet end the data; what came before stays.
TEST(HostileInput, LzwCodeBeyondTheTable) {
    // Code size 5 bits (min size 4): clear(16), 5, 30 (table holds 0..17 only), 5.
    uint32_t codes[] = {16, 5, 30, 5};
    uint64_t acc = 0;
    for (int i = 0; i < 4; ++i) acc |= uint64_t(codes[i]) << (5 * i);
    Bytes lzw;
    for (int i = 0; i < 3; ++i) lzw += char((acc >> (8 * i)) & 0xFF);
    SBitmap b;
    std::string error;
    ASSERT_TRUE(Decode(GifWithLzw(2, 1, 4, lzw), b, error)) << error;
    EXPECT_TRUE(PixelsMatch(b, [](uint32_t x, uint32_t) { return x == 0 ? Palette16()[5] : SRgba{0, 0, 0, 0}; }));
}

TEST(HostileInput, PixelLimitComesBeforeAllocation) {
    SDecodeOptions opt;
    opt.maxPixels = 100;
    SBitmap b;
    std::string error;
    Bytes gif = Gif16(11, 10, Repeat(110, 1));
    EXPECT_FALSE(DecodeImage(reinterpret_cast<const uint8_t*>(gif.data()), gif.size(), opt, b, error));
    EXPECT_EQ(error, "picture too large (11x10)");
    Bytes jpeg = MakeJpeg(11, 10, 3, [](uint32_t, uint32_t) { return SRgba{}; });
    EXPECT_FALSE(DecodeImage(reinterpret_cast<const uint8_t*>(jpeg.data()), jpeg.size(), opt, b, error));
    EXPECT_EQ(error, "picture too large (11x10)");
}

TEST(LoadFromFile, BadPathsAndMissingFiles) {
    TempDir dir;
    WriteFile(dir / "x.gif", Gif16(2, 2, Repeat(4, 2)));
    CBRImage image;
    EXPECT_TRUE(image.LoadFromFile((dir / "x.gif").string(), nullptr));
    EXPECT_TRUE(image.IsLoaded());
    EXPECT_FALSE(image.LoadFromFile("x", nullptr));  // one character: fails at once
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.GetError(), "bad path");
    EXPECT_EQ(image.GetWidth(), 0u);
    EXPECT_FALSE(image.LoadFromFile((dir / "missing.png").string(), nullptr));
    EXPECT_EQ(image.GetError(), "No such file or directory");
    EXPECT_FALSE(image.LoadFromFile(dir.Str(), nullptr));
    EXPECT_EQ(image.GetError(), "not a regular file");
}

}  // namespace
}  // namespace plover::test
