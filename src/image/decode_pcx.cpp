// ZSoft PCX: 1 bit in 1 to 4 planes (monochrome, 4, 8 or 16 colours from the header's
// palette), 2, 4 or 8 bits in one plane (indexes; 8 bits use the 256-colour table at the end
// of the file), and 8 bits in 3 or 4 planes (RGB, RGBA). Scan lines are RLE-coded as one
// continuous stream; a run that crosses the end of a line carries on into the next.
#include <algorithm>
#include <vector>

#include "platform/byte_reader.h"
#include "image/decoder.h"
#include "image/palette.h"

namespace plover {
namespace {

struct SPcxHeader {
    uint8_t version, encoding, bpp, planes;
    uint32_t width, height, lineBytes;
};

// The colours of the EGA, for files of version 3 that carry no palette of their own.
constexpr uint8_t kEga[16][3] = {{0, 0, 0},     {0, 0, 170},   {0, 170, 0},   {0, 170, 170},  {170, 0, 0},    {170, 0, 170},
                                 {170, 85, 0},  {170, 170, 170}, {85, 85, 85}, {85, 85, 255}, {85, 255, 85}, {85, 255, 255},
                                 {255, 85, 85}, {255, 85, 255}, {255, 255, 85}, {255, 255, 255}};

bool ReadHeader(const uint8_t* d, size_t n, SPcxHeader& h, std::string& error) {
    if (n < 128 || d[0] != 0x0A) {
        error = "not a PCX file";
        return false;
    }
    uint16_t xmin = Le16(d + 4), ymin = Le16(d + 6), xmax = Le16(d + 8), ymax = Le16(d + 10);
    h = {d[1], d[2], d[3], d[65], 0, 0, Le16(d + 66)};
    if (xmax < xmin || ymax < ymin) {
        error = "bad picture window";
        return false;
    }
    h.width = uint32_t(xmax - xmin) + 1;
    h.height = uint32_t(ymax - ymin) + 1;
    bool layoutOk = (h.bpp == 1 && h.planes >= 1 && h.planes <= 4) ||
                    ((h.bpp == 2 || h.bpp == 4 || h.bpp == 8) && h.planes == 1) || (h.bpp == 8 && (h.planes == 3 || h.planes == 4));
    if (!layoutOk || h.encoding > 1) {
        error = "unsupported PCX layout (" + std::to_string(h.bpp) + " bits, " + std::to_string(h.planes) + " planes)";
        return false;
    }
    if (uint64_t(h.lineBytes) * 8 < uint64_t(h.width) * h.bpp) {
        error = "bad line length";
        return false;
    }
    return true;
}

void ReadPalette(const uint8_t* d, size_t n, const SPcxHeader& h, CPalette& pal) {
    uint32_t bits = h.bpp * h.planes;
    if (bits == 1) {
        pal.Set(0, {0, 0, 0, 255});
        pal.Set(1, {255, 255, 255, 255});
    } else if (bits == 8) {
        if (n >= 128 + 769 && d[n - 769] == 0x0C) {
            const uint8_t* p = d + n - 768;
            for (size_t i = 0; i < 256; ++i) pal.Set(i, {p[3 * i], p[3 * i + 1], p[3 * i + 2], 255});
        } else {
            pal.Grey(256);
        }
    } else {
        const uint8_t* p = d + 16;
        bool empty = std::all_of(p, p + 48, [](uint8_t b) { return b == 0; });
        for (size_t i = 0; i < 16; ++i)
            pal.Set(i, empty ? SRgba{kEga[i][0], kEga[i][1], kEga[i][2], 255} : SRgba{p[3 * i], p[3 * i + 1], p[3 * i + 2], 255});
    }
}

// The RLE stream: a byte of the form 11xxxxxx repeats the next byte xxxxxx times.
class CPcxStream {
public:
    CPcxStream(CByteReader& r, bool rle) : r_(r), rle_(rle) {}
    // Fills `line`; false when the data ended first (what was read stays).
    bool Fill(std::vector<uint8_t>& line) {
        size_t i = 0;
        while (i < line.size()) {
            if (repeat_ > 0) {
                size_t k = std::min<size_t>(repeat_, line.size() - i);
                std::fill_n(line.begin() + ptrdiff_t(i), k, value_);
                i += k, repeat_ -= uint32_t(k);
                continue;
            }
            uint8_t b;
            if (!r_.U8(b) || (rle_ && b >= 0xC0 && !r_.U8(value_))) {
                std::fill(line.begin() + ptrdiff_t(i), line.end(), 0);
                return false;
            }
            if (rle_ && b >= 0xC0) {
                repeat_ = b & 0x3F;
            } else {
                line[i++] = b;
            }
        }
        return true;
    }

private:
    CByteReader& r_;
    bool rle_;
    uint32_t repeat_ = 0;
    uint8_t value_ = 0;
};

void ConvertLine(const std::vector<uint8_t>& line, const SPcxHeader& h, const CPalette& pal, uint8_t* row) {
    const uint8_t* plane[4] = {};
    for (uint32_t p = 0; p < h.planes; ++p) plane[p] = line.data() + size_t(p) * h.lineBytes;
    for (uint32_t x = 0; x < h.width; ++x) {
        if (h.bpp == 8 && h.planes >= 3) {
            PutRgba(row, x, {plane[0][x], plane[1][x], plane[2][x], h.planes == 4 ? plane[3][x] : uint8_t(255)});
        } else if (h.bpp == 1) {
            uint32_t index = 0;
            for (uint32_t p = 0; p < h.planes; ++p) index |= ((plane[p][x / 8] >> (7 - x % 8)) & 1u) << p;
            PutRgba(row, x, pal[index]);
        } else {
            uint32_t perByte = 8 / h.bpp, shift = 8 - h.bpp * (x % perByte + 1);
            PutRgba(row, x, pal[(plane[0][x / perByte] >> shift) & ((1u << h.bpp) - 1)]);
        }
    }
}

}  // namespace

bool DecodePcx(const uint8_t* d, size_t n, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    SPcxHeader h;
    if (!ReadHeader(d, n, h, error) || !CheckPictureSize(h.width, h.height, opt, error)) return false;
    std::vector<uint8_t> line(size_t(h.lineBytes) * h.planes);
    if (h.encoding == 0 && (n - 128) / line.size() < h.height) {
        error = "truncated pixel data";
        return false;
    }
    CPalette pal;
    ReadPalette(d, n, h, pal);
    out.Allocate(h.width, h.height);
    out.bitDepth = uint32_t(h.bpp) * h.planes;
    CByteReader r(d, n);
    r.Seek(128);
    CPcxStream stream(r, h.encoding == 1);
    for (uint32_t y = 0; y < h.height; ++y) {
        bool whole = stream.Fill(line);
        ConvertLine(line, h, pal, out.Row(y));
        if (!whole) break;
    }
    if (h.planes == 4 && h.bpp == 8) out.OpaqueIfAlphaAllZero();
    return true;
}

}  // namespace plover
