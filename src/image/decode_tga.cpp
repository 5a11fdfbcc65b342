// Truevision TGA: true-colour (15, 16, 24, 32 bits), colour-mapped (8 or 16-bit indexes into a
// map of 15, 16, 24 or 32-bit entries) and grey (8 bits, or 8 + 8 alpha), raw or RLE, with the
// origin at the bottom-left (the default) or top-left, rows optionally right-to-left.
#include <algorithm>
#include <vector>

#include "platform/byte_reader.h"
#include "image/decoder.h"
#include "image/palette.h"

namespace plover {
namespace {

struct STgaHeader {
    uint8_t idLength, mapType, type;
    uint16_t mapFirst, mapLength;
    uint8_t mapBits;
    uint16_t width, height;
    uint8_t depth, descriptor;
};

// A 15/16/24/32-bit value as stored (little-endian, B G R [A]) to RGBA.
SRgba Colour(const uint8_t* p, uint32_t bits, bool useAlpha) {
    if (bits == 15 || bits == 16) {
        uint16_t v = Le16(p);
        auto five = [](uint32_t c) { return uint8_t((c << 3) | (c >> 2)); };
        uint8_t a = bits == 16 && useAlpha ? ((v & 0x8000) ? 255 : 0) : 255;
        return {five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31), a};
    }
    return {p[2], p[1], p[0], bits == 32 && useAlpha ? p[3] : uint8_t(255)};
}

class CTgaPixels {
public:
    CTgaPixels(const STgaHeader& h, const std::vector<SRgba>& map) : h_(h), map_(map) {
        bytes_ = (h.depth + 7) / 8;
        alpha_ = (h.descriptor & 0x0F) != 0;
    }
    uint32_t Bytes() const { return bytes_; }
    SRgba Convert(const uint8_t* p) const {
        switch (h_.type & 7) {
            case 1: {
                uint32_t index = h_.depth == 16 ? Le16(p) : p[0];
                if (index < h_.mapFirst || index - h_.mapFirst >= map_.size()) return {};
                return map_[index - h_.mapFirst];
            }
            case 3: return {p[0], p[0], p[0], h_.depth == 16 ? p[1] : uint8_t(255)};
            default: return Colour(p, h_.depth, alpha_);
        }
    }

private:
    const STgaHeader& h_;
    const std::vector<SRgba>& map_;
    uint32_t bytes_;
    bool alpha_;
};

bool ReadHeader(CByteReader& r, STgaHeader& h, std::string& error) {
    const uint8_t* p = r.Take(18);
    if (!p) {
        error = "truncated header";
        return false;
    }
    h = {p[0], p[1], p[2], Le16(p + 3), Le16(p + 5), p[7], Le16(p + 12), Le16(p + 14), p[16], p[17]};
    bool mapBitsOk = h.mapBits == 15 || h.mapBits == 16 || h.mapBits == 24 || h.mapBits == 32;
    bool ok = h.mapType <= 1 && (h.mapType == 0 || mapBitsOk);
    switch (h.type & ~8) {
        case 1: ok = ok && h.mapType == 1 && (h.depth == 8 || h.depth == 16); break;
        case 2: ok = ok && (h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32); break;
        case 3: ok = ok && (h.depth == 8 || h.depth == 16); break;
        default: ok = false;
    }
    if (!ok) error = "unsupported TGA layout (type " + std::to_string(h.type) + ", " + std::to_string(h.depth) + " bits)";
    return ok;
}

bool ReadMap(CByteReader& r, const STgaHeader& h, std::vector<SRgba>& map, std::string& error) {
    if (h.mapType == 0) return true;
    uint32_t entry = (h.mapBits + 7) / 8;
    const uint8_t* p = r.Take(size_t(h.mapLength) * entry);
    if (!p) {
        error = "truncated colour map";
        return false;
    }
    map.resize(h.mapLength);
    for (size_t i = 0; i < h.mapLength; ++i) map[i] = Colour(p + i * entry, h.mapBits, h.mapBits == 32);
    return true;
}

}  // namespace

bool DecodeTga(const uint8_t* d, size_t n, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    CByteReader r(d, n);
    STgaHeader h;
    std::vector<SRgba> map;
    if (!ReadHeader(r, h, error)) return false;
    if (!r.Skip(h.idLength) || !ReadMap(r, h, map, error)) {
        if (error.empty()) error = "truncated header";
        return false;
    }
    if (!CheckPictureSize(h.width, h.height, opt, error)) return false;
    CTgaPixels conv(h, map);
    const size_t total = size_t(h.width) * h.height, bpp = conv.Bytes();
    const bool rle = h.type & 8;
    if (!rle && r.Remaining() < total * bpp) {
        error = "truncated pixel data";
        return false;
    }
    out.Allocate(h.width, h.height);
    out.bitDepth = h.depth;
    const bool topDown = h.descriptor & 0x20, rightToLeft = h.descriptor & 0x10;
    auto put = [&](size_t i, const SRgba& c) {
        uint32_t x = uint32_t(i % h.width), y = uint32_t(i / h.width);
        PutRgba(out.Row(topDown ? y : h.height - 1 - y), rightToLeft ? h.width - 1 - x : x, c);
    };
    size_t i = 0;
    while (i < total) {
        uint8_t packet = 0;  // raw data: one literal run of every pixel
        if (rle && !r.U8(packet)) break;
        size_t count = rle ? (packet & 0x7F) + 1 : total;
        if (rle && (packet & 0x80)) {  // one value repeated
            const uint8_t* p = r.Take(bpp);
            if (!p) break;
            SRgba c = conv.Convert(p);
            for (size_t k = 0; k < count && i < total; ++k) put(i++, c);
            continue;
        }
        for (size_t k = 0; k < count && i < total; ++k) {
            const uint8_t* p = r.Take(bpp);
            if (!p) break;
            put(i++, conv.Convert(p));
        }
        if (r.AtEnd()) break;
    }
    out.OpaqueIfAlphaAllZero();
    return true;
}

}  // namespace plover
