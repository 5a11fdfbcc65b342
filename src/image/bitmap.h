#pragma once
// A decoded picture in one pixel layout for every format: 8-bit RGBA with straight (not
// premultiplied) alpha, rows top-down without padding. The decoders also keep what the file
// itself declares: its format, its own width and height (which differ from the pixel size when
// a decoder already shrank the picture while loading) and its bit depth per pixel.
#include <cstdint>
#include <string>
#include <vector>

namespace plover {

enum class EImageFormat { Unknown, Jpeg, Png, Tiff, Bmp, Gif, Tga, Pcx, Wmf, Emf, Webp, Avif };

// The short upper-case name users see ("JPEG", "PNG" ...); "unknown" for Unknown.
const char* ImageFormatName(EImageFormat f);

// A width/height pair; the size box of a load request.
struct SSize {
    uint32_t cx = 0;
    uint32_t cy = 0;
    friend bool operator==(const SSize&, const SSize&) = default;
};

struct SBitmap {
    uint32_t width = 0;   // pixels held
    uint32_t height = 0;
    uint32_t sourceWidth = 0;   // the picture's own size as the file declares it
    uint32_t sourceHeight = 0;
    uint32_t bitDepth = 0;      // bits per pixel as stored in the file (1, 4, 8, 24, 32, 48 ...)
    EImageFormat format = EImageFormat::Unknown;
    std::vector<uint8_t> pixels;  // width * height * 4 bytes, R G B A

    // Sizes the pixel buffer to w x h, every pixel transparent black; the source size too.
    void Allocate(uint32_t w, uint32_t h);
    uint8_t* Row(uint32_t y) { return pixels.data() + size_t(y) * width * 4; }
    const uint8_t* Row(uint32_t y) const { return pixels.data() + size_t(y) * width * 4; }
    bool HasTransparency() const;
    // Makes every pixel opaque when none has any alpha at all: writers that leave the alpha
    // byte zero mean "no alpha", not "invisible picture".
    void OpaqueIfAlphaAllZero();
    void Clear();
};

}  // namespace plover
