#pragma once
// Turning the bytes of a picture file into an SBitmap. The format is recognised from the
// content only, never from the file's name. JPEG, PNG and TIFF go through libjpeg, libpng and
// libtiff; BMP, GIF, TGA and PCX through decoders of our own. Every decoder treats its input as
// hostile: sizes are checked against a pixel limit before anything is allocated, every read is
// bounds-checked, and a failure is a false return with a reason, never a crash or an exit.
//
// Pixel data that ends early: an uncompressed picture fails ("truncated pixel data"); a
// compressed one (RLE, LZW) keeps what was decoded, the rest transparent, as viewers do with
// pictures whose download was cut short.
#include <cstddef>
#include <cstdint>
#include <string>

#include "image/bitmap.h"

namespace plover {

// The largest picture decoded: 64 megapixels (8192 x 8192), 256 MiB as RGBA.
constexpr uint64_t kMaxPixels = uint64_t(1) << 26;

struct SDecodeOptions {
    // The size box the picture will be fitted into (0 x 0: none). Decoders that can shrink
    // while decoding (JPEG's DCT scaling) decode no smaller than the fitted size.
    SSize box;
    uint64_t maxPixels = kMaxPixels;
};

EImageFormat DetectImageFormat(const uint8_t* data, size_t size);

// Decodes any known format; false with a reason in `error` otherwise ("unknown format", ...).
bool DecodeImage(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);

bool DecodeJpeg(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodePng(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeTiff(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeBmp(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeGif(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeTga(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodePcx(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeWebp(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);
bool DecodeAvif(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error);

// Shared by the decoders: a declared size that is empty or above the limit fails here,
// before any allocation.
bool CheckPictureSize(uint64_t width, uint64_t height, const SDecodeOptions& opt, std::string& error);

}  // namespace plover
