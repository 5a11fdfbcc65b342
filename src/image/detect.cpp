// Recognising a picture's format from its first bytes, and the one entry point that decodes any
// of them. Formats with a signature are tried first; TGA, which has none, is recognised last by
// a header whose every field holds an allowed value.
#include <cstring>
#include <new>

#include "platform/byte_reader.h"
#include "image/decoder.h"

namespace plover {
namespace {

bool StartsWith(const uint8_t* d, size_t n, const char* sig, size_t len) {
    return n >= len && std::memcmp(d, sig, len) == 0;
}

bool IsBmp(const uint8_t* d, size_t n) {
    if (n < 18 || d[0] != 'B' || d[1] != 'M') return false;
    uint32_t hs = Le32(d + 14);
    return hs == 12 || hs == 16 || hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124;
}

bool IsWmf(const uint8_t* d, size_t n) {
    if (StartsWith(d, n, "\xD7\xCD\xC6\x9A", 4)) return true;  // placeable metafile
    if (n < 18) return false;
    uint16_t type = Le16(d), header = Le16(d + 2), version = Le16(d + 4);
    return (type == 1 || type == 2) && header == 9 && (version == 0x0100 || version == 0x0300);
}

bool IsEmf(const uint8_t* d, size_t n) { return n >= 44 && Le32(d) == 1 && std::memcmp(d + 40, " EMF", 4) == 0; }

bool IsPcx(const uint8_t* d, size_t n) {
    if (n < 128 || d[0] != 0x0A) return false;
    uint8_t version = d[1], encoding = d[2], bpp = d[3], planes = d[65];
    bool versionOk = version == 0 || version == 2 || version == 3 || version == 4 || version == 5;
    bool bppOk = bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8;
    return versionOk && encoding <= 1 && bppOk && planes >= 1 && planes <= 4;
}

bool IsTga(const uint8_t* d, size_t n) {
    if (n < 18) return false;
    uint8_t cmType = d[1], type = d[2], cmBits = d[7], depth = d[16], desc = d[17];
    uint16_t w = Le16(d + 12), h = Le16(d + 14);
    if (cmType > 1 || w == 0 || h == 0 || (desc & 0xC0) != 0) return false;
    bool cmBitsOk = cmBits == 15 || cmBits == 16 || cmBits == 24 || cmBits == 32;
    if (cmType == 1 && !cmBitsOk) return false;
    switch (type & ~8) {
        case 1: return cmType == 1 && (depth == 8 || depth == 16);
        case 2: return depth == 15 || depth == 16 || depth == 24 || depth == 32;
        case 3: return depth == 8 || depth == 16;
        default: return false;
    }
}

// A RIFF container whose form type is WEBP.
bool IsWebp(const uint8_t* d, size_t n) {
    return n >= 12 && std::memcmp(d, "RIFF", 4) == 0 && std::memcmp(d + 8, "WEBP", 4) == 0;
}

// An ISO media file whose leading ftyp box names AVIF (a still picture, "avif", or a sequence,
// "avis") as its major brand or as one of its compatible brands. Only the bytes of the box that
// are present are looked at.
bool IsAvif(const uint8_t* d, size_t n) {
    if (n < 16 || std::memcmp(d + 4, "ftyp", 4) != 0) return false;
    auto isAvifBrand = [&](size_t at) {
        return std::memcmp(d + at, "avif", 4) == 0 || std::memcmp(d + at, "avis", 4) == 0;
    };
    if (isAvifBrand(8)) return true;
    size_t boxSize = (size_t(d[0]) << 24) | (size_t(d[1]) << 16) | (size_t(d[2]) << 8) | d[3];
    size_t end = boxSize < n ? boxSize : n;
    for (size_t at = 16; at + 4 <= end; at += 4) {
        if (isAvifBrand(at)) return true;
    }
    return false;
}

}  // namespace

EImageFormat DetectImageFormat(const uint8_t* d, size_t n) {
    if (StartsWith(d, n, "\xFF\xD8\xFF", 3)) return EImageFormat::Jpeg;
    if (StartsWith(d, n, "\x89PNG\r\n\x1A\n", 8)) return EImageFormat::Png;
    if (StartsWith(d, n, "GIF87a", 6) || StartsWith(d, n, "GIF89a", 6)) return EImageFormat::Gif;
    if (StartsWith(d, n, "II*\0", 4) || StartsWith(d, n, "MM\0*", 4)) return EImageFormat::Tiff;
    if (IsWebp(d, n)) return EImageFormat::Webp;
    if (IsAvif(d, n)) return EImageFormat::Avif;
    if (IsBmp(d, n)) return EImageFormat::Bmp;
    if (IsWmf(d, n)) return EImageFormat::Wmf;
    if (IsEmf(d, n)) return EImageFormat::Emf;
    if (IsPcx(d, n)) return EImageFormat::Pcx;
    if (IsTga(d, n)) return EImageFormat::Tga;
    return EImageFormat::Unknown;
}

bool CheckPictureSize(uint64_t width, uint64_t height, const SDecodeOptions& opt, std::string& error) {
    if (width == 0 || height == 0) {
        error = "empty picture (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    if (width > opt.maxPixels || height > opt.maxPixels || width * height > opt.maxPixels) {
        error = "picture too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    return true;
}

bool DecodeImage(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    out.Clear();
    EImageFormat format = DetectImageFormat(data, size);
    bool ok = false;
    try {
        switch (format) {
            case EImageFormat::Jpeg: ok = DecodeJpeg(data, size, opt, out, error); break;
            case EImageFormat::Png: ok = DecodePng(data, size, opt, out, error); break;
            case EImageFormat::Tiff: ok = DecodeTiff(data, size, opt, out, error); break;
            case EImageFormat::Bmp: ok = DecodeBmp(data, size, opt, out, error); break;
            case EImageFormat::Gif: ok = DecodeGif(data, size, opt, out, error); break;
            case EImageFormat::Tga: ok = DecodeTga(data, size, opt, out, error); break;
            case EImageFormat::Pcx: ok = DecodePcx(data, size, opt, out, error); break;
            case EImageFormat::Webp: ok = DecodeWebp(data, size, opt, out, error); break;
            case EImageFormat::Avif: ok = DecodeAvif(data, size, opt, out, error); break;
            case EImageFormat::Wmf:
            case EImageFormat::Emf: error = "Windows metafiles cannot be decoded"; break;
            case EImageFormat::Unknown: error = "unknown format"; break;
        }
    } catch (const std::bad_alloc&) {
        error = "out of memory";
        ok = false;
    }
    if (!ok) {
        out.Clear();
        if (error.empty()) error = "cannot decode";
    } else {
        out.format = format;
    }
    return ok;
}

}  // namespace plover
