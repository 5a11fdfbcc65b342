#pragma once
// Small pictures for the image tests, built in code: a 16-colour pattern and writers for every
// format and variant the loader reads (BMP, GIF with a real LZW encoder, TGA, PCX with their
// RLE, and JPEG, PNG, TIFF through the libraries).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/bitmap.h"
#include "image/palette.h"

namespace plover::test {

// The pattern of the committed fixtures in data/ (see data/make_fixtures.sh).
constexpr uint32_t kPatternW = 37, kPatternH = 23;
uint8_t PatternIndex(uint32_t x, uint32_t y);
SRgba PatternColour(uint32_t x, uint32_t y);
const std::vector<SRgba>& Palette16();

using Bytes = std::string;
void Put16(Bytes& b, uint32_t v);
void Put32(Bytes& b, uint32_t v);

// BMP: a file header, a BITMAPINFOHEADER-sized header of `headerSize` bytes (12 for OS/2 core),
// the palette, then `pixels` as given (already in the row layout of `bpp`).
struct SBmpSpec {
    int32_t width = 0, height = 0;  // negative height: top-down
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    std::vector<SRgba> palette;
    std::vector<uint32_t> masks;  // written after a 40-byte header, or inside a larger one
    uint32_t colorsUsed = 0;
    Bytes pixels;
};
Bytes MakeBmp(const SBmpSpec& s);
// Rows of `bpp`-bit values, bottom-up unless topDown, padded to 4 bytes.
Bytes BmpRows(uint32_t w, uint32_t h, uint32_t bpp, bool topDown, const std::function<uint32_t(uint32_t, uint32_t)>& value);

// GIF LZW of `indices`; clearWhenFull false lets the table fill up and stay full.
Bytes LzwEncode(const std::vector<uint8_t>& indices, uint32_t minSize, bool clearWhenFull = true);
struct SGifSpec {
    uint16_t width = 0, height = 0;
    std::vector<SRgba> palette;  // global table (power of two entries)
    bool interlaced = false;
    int transparent = -1;
    uint32_t minSize = 4;
    bool clearWhenFull = true;
    std::vector<uint8_t> indices;  // in display order, row by row
};
Bytes MakeGif(const SGifSpec& s);
// Wraps already-coded LZW data (raw, not yet in sub-blocks) in a one-frame GIF.
Bytes GifWithLzw(uint16_t w, uint16_t h, uint32_t minSize, const Bytes& lzw);

struct STgaSpec {
    uint8_t type = 2;  // 1 mapped, 2 true colour, 3 grey; +8 RLE
    uint16_t width = 0, height = 0;
    uint8_t depth = 24;
    uint8_t descriptor = 0;  // 0x20 top-down, 0x10 right-to-left, low bits alpha
    uint16_t mapFirst = 0;
    uint8_t mapBits = 24;
    std::vector<SRgba> map;
    Bytes pixelValues;  // width * height values of depth/8 bytes, in file order, not yet RLE-coded
};
Bytes MakeTga(const STgaSpec& s);

struct SPcxSpec {
    uint16_t width = 0, height = 0;
    uint8_t bpp = 8, planes = 1;
    std::vector<SRgba> headerPalette;  // up to 16
    std::vector<SRgba> palette256;     // appended after the data when not empty
    std::function<uint32_t(uint32_t, uint32_t)> value;  // index, or 0xRRGGBB for 3 planes
};
Bytes MakePcx(const SPcxSpec& s);

Bytes MakeJpeg(uint32_t w, uint32_t h, int components, const std::function<SRgba(uint32_t, uint32_t)>& colour,
               int quality = 95, bool cmyk = false);
Bytes MakePngRgba(uint32_t w, uint32_t h, const std::function<SRgba(uint32_t, uint32_t)>& colour);
// A PNG of any libpng colour type and depth from raw packed rows.
Bytes MakePngRaw(uint32_t w, uint32_t h, int colorType, int bitDepth, bool interlaced, const std::vector<Bytes>& rows,
                 const std::vector<SRgba>& palette = {}, const Bytes& trns = {});
Bytes MakeTiffRgb(uint32_t w, uint32_t h, const std::function<SRgba(uint32_t, uint32_t)>& colour, uint16_t compression);

SRgba PixelAt(const SBitmap& b, uint32_t x, uint32_t y);
// Every pixel within `tolerance` of `expected`; reports the first one that is not.
::testing::AssertionResult PixelsMatch(const SBitmap& b, const std::function<SRgba(uint32_t, uint32_t)>& expected,
                                       int tolerance = 0);

}  // namespace plover::test
