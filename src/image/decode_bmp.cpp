// Windows and OS/2 bitmaps: 1, 2, 4, 8, 16, 24 and 32 bits a pixel, RGB, bit fields, RLE8 and
// RLE4, bottom-up or top-down, and the JPEG or PNG picture that a bitmap may carry inside.
#include <algorithm>
#include <bit>
#include <cstdlib>

#include "platform/byte_reader.h"
#include "image/decoder.h"
#include "image/palette.h"

namespace plover {
namespace {

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6 };

struct SBmpHeader {
    uint32_t dataOffset = 0;
    uint32_t headerSize = 0;
    int64_t width = 0, height = 0;
    uint32_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    size_t paletteOffset = 0;
    bool topDown = false;
};

bool IsOs2V2(uint32_t headerSize) { return headerSize == 16 || headerSize == 64; }

bool ReadHeader(const uint8_t* d, size_t n, SBmpHeader& h, std::string& error) {
    h.dataOffset = Le32(d + 10);
    h.headerSize = Le32(d + 14);
    if (h.headerSize > n - 14 || n < 14 + 16) {
        error = "truncated header";
        return false;
    }
    const uint8_t* p = d + 14;
    if (h.headerSize == 12) {
        h.width = Le16(p + 4);
        h.height = Le16(p + 6);
        h.bpp = Le16(p + 10);
    } else {
        h.width = int32_t(Le32(p + 4));
        h.height = int32_t(Le32(p + 8));
        h.bpp = Le16(p + 14);
        if (h.headerSize >= 20) h.compression = Le32(p + 16);
        if (h.headerSize >= 24) h.imageSize = Le32(p + 20);
        if (h.headerSize >= 36) h.colorsUsed = Le32(p + 32);
    }
    h.paletteOffset = 14 + size_t(h.headerSize);
    bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
    if (IsOs2V2(h.headerSize) && h.compression >= kBitFields) {
        error = "unsupported OS/2 compression";  // Huffman 1D and RLE24
        return false;
    }
    if (h.headerSize >= 52) {
        for (int i = 0; i < 3; ++i) h.masks[i] = Le32(p + 40 + 4 * i);
        if (h.headerSize >= 56) h.masks[3] = Le32(p + 52);
    } else if (h.headerSize == 40 && fields) {
        size_t count = h.compression == kAlphaBitFields ? 4 : 3;
        if (n < h.paletteOffset + 4 * count) {
            error = "truncated header";
            return false;
        }
        for (size_t i = 0; i < count; ++i) h.masks[i] = Le32(d + h.paletteOffset + 4 * i);
        h.paletteOffset += 4 * count;
    }
    h.topDown = h.height < 0;
    h.height = std::llabs(h.height);
    return true;
}

void ReadPalette(const uint8_t* d, size_t n, const SBmpHeader& h, CPalette& pal) {
    size_t entry = h.headerSize == 12 ? 3 : 4;
    size_t count = h.colorsUsed ? std::min<size_t>(h.colorsUsed, 256) : size_t(1) << h.bpp;
    if (h.paletteOffset < n) count = std::min(count, (n - h.paletteOffset) / entry);
    else count = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* e = d + h.paletteOffset + i * entry;
        pal.Set(i, {e[2], e[1], e[0], 255});
    }
}

// One channel of a bit-field pixel scaled to 0..255.
uint8_t Field(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = std::countr_zero(mask);
    uint64_t max = mask >> shift, v = (pixel & mask) >> shift;
    return uint8_t((v * 255 + max / 2) / max);
}

void DecodeRow(const uint8_t* src, const SBmpHeader& h, const CPalette& pal, uint8_t* row, uint32_t width) {
    switch (h.bpp) {
        case 1:
        case 2:
        case 4:
        case 8: {
            uint32_t perByte = 8 / h.bpp, mask = (1u << h.bpp) - 1;
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t shift = 8 - h.bpp * (x % perByte + 1);
                PutRgba(row, x, pal[(src[x / perByte] >> shift) & mask]);
            }
            break;
        }
        case 24:
            for (uint32_t x = 0; x < width; ++x) PutRgba(row, x, {src[3 * x + 2], src[3 * x + 1], src[3 * x], 255});
            break;
        case 16:
        case 32:
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t v = h.bpp == 16 ? Le16(src + 2 * x) : Le32(src + 4 * x);
                uint8_t a = h.masks[3] ? Field(v, h.masks[3]) : 255;
                PutRgba(row, x, {Field(v, h.masks[0]), Field(v, h.masks[1]), Field(v, h.masks[2]), a});
            }
            break;
    }
}

bool DecodeUncompressed(const uint8_t* d, size_t n, const SBmpHeader& h, const CPalette& pal, SBitmap& out,
                        std::string& error) {
    uint64_t stride = (uint64_t(h.width) * h.bpp + 31) / 32 * 4;
    uint64_t lastRow = (uint64_t(h.width) * h.bpp + 7) / 8;
    if (h.dataOffset >= n || n - h.dataOffset < stride * uint64_t(h.height - 1) + lastRow) {
        error = "truncated pixel data";
        return false;
    }
    out.Allocate(uint32_t(h.width), uint32_t(h.height));
    for (uint32_t y = 0; y < out.height; ++y) {
        uint32_t row = h.topDown ? y : out.height - 1 - y;
        DecodeRow(d + h.dataOffset + y * stride, h, pal, out.Row(row), out.width);
    }
    if (h.bpp == 16 || h.bpp == 32) out.OpaqueIfAlphaAllZero();
    return true;
}

// RLE8 and RLE4: runs and literal groups clipped to the row, end-of-line, end-of-picture and
// delta escapes. Pixels that the data skips stay transparent; data that stops early ends it.
bool DecodeRle(const uint8_t* d, size_t n, const SBmpHeader& h, const CPalette& pal, SBitmap& out,
               std::string& error) {
    if (h.dataOffset >= n) {
        error = "truncated pixel data";
        return false;
    }
    out.Allocate(uint32_t(h.width), uint32_t(h.height));
    const bool four = h.compression == kRle4;
    uint64_t x = 0, y = 0;
    auto put = [&](uint8_t index) {
        if (x < out.width && y < out.height) PutRgba(out.Row(uint32_t(h.topDown ? y : out.height - 1 - y)), x, pal[index]);
        ++x;
    };
    CByteReader r(d, n);
    r.Seek(h.dataOffset);
    uint8_t a, b;
    while (y < out.height && r.U8(a) && r.U8(b)) {
        if (a > 0) {  // a run of `a` pixels
            if (x >= out.width) {
                x += a;
                continue;
            }
            for (uint32_t i = 0; i < a; ++i) put(four ? (i % 2 ? b & 15 : b >> 4) : b);
        } else if (b == 0) {  // end of line
            x = 0, ++y;
        } else if (b == 1) {  // end of picture
            break;
        } else if (b == 2) {  // delta
            uint8_t dx, dy;
            if (!r.U8(dx) || !r.U8(dy)) break;
            x += dx, y += dy;
        } else {  // b literal pixels, padded to a 16-bit boundary
            size_t bytes = four ? (b + 1) / 2 : b;
            size_t avail = std::min(bytes, r.Remaining());
            const uint8_t* lit = r.Take(avail);
            for (uint32_t i = 0; i < b && (four ? i / 2 : i) < avail; ++i)
                put(four ? (i % 2 ? lit[i / 2] & 15 : lit[i / 2] >> 4) : lit[i]);
            if (avail < bytes || !r.Skip(bytes & 1)) break;
        }
    }
    return true;
}

bool DecodeEmbedded(const uint8_t* d, size_t n, const SBmpHeader& h, const SDecodeOptions& opt, SBitmap& out,
                    std::string& error) {
    if (h.dataOffset >= n) {
        error = "truncated pixel data";
        return false;
    }
    size_t len = n - h.dataOffset;
    if (h.imageSize) len = std::min<size_t>(len, h.imageSize);
    return h.compression == kJpeg ? DecodeJpeg(d + h.dataOffset, len, opt, out, error)
                                  : DecodePng(d + h.dataOffset, len, opt, out, error);
}

bool ValidLayout(const SBmpHeader& h, std::string& error) {
    bool ok = false;
    switch (h.compression) {
        case kRgb: ok = h.bpp == 1 || h.bpp == 2 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 || h.bpp == 32; break;
        case kRle8: ok = h.bpp == 8; break;
        case kRle4: ok = h.bpp == 4; break;
        case kBitFields:
        case kAlphaBitFields: ok = h.bpp == 16 || h.bpp == 32; break;
        case kJpeg:
        case kPng: ok = true; break;
    }
    if (!ok) error = "unsupported bitmap layout (" + std::to_string(h.bpp) + " bits, compression " +
                     std::to_string(h.compression) + ")";
    return ok;
}

}  // namespace

bool DecodeBmp(const uint8_t* d, size_t n, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    SBmpHeader h;
    if (n < 2 || d[0] != 'B' || d[1] != 'M') {
        error = "not a bitmap";
        return false;
    }
    if (n < 14 + 16) {
        error = "truncated header";
        return false;
    }
    if (!ReadHeader(d, n, h, error) || !ValidLayout(h, error)) return false;
    if (h.compression == kJpeg || h.compression == kPng) {
        bool ok = DecodeEmbedded(d, n, h, opt, out, error);
        return ok;
    }
    if (!CheckPictureSize(uint64_t(std::max<int64_t>(h.width, 0)), uint64_t(h.height), opt, error)) return false;
    if (h.compression == kRgb && h.bpp == 16) h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    if (h.compression == kRgb && h.bpp == 32) h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    if (h.compression == kRgb) h.masks[3] = 0;  // plain 32-bit pixels carry no alpha
    CPalette pal;
    if (h.bpp <= 8) ReadPalette(d, n, h, pal);
    bool ok = h.compression == kRle8 || h.compression == kRle4 ? DecodeRle(d, n, h, pal, out, error)
                                                                : DecodeUncompressed(d, n, h, pal, out, error);
    if (ok) out.bitDepth = h.bpp;
    return ok;
}

}  // namespace plover
