#include "image/bitmap.h"

namespace plover {

const char* ImageFormatName(EImageFormat f) {
    switch (f) {
        case EImageFormat::Jpeg: return "JPEG";
        case EImageFormat::Png: return "PNG";
        case EImageFormat::Tiff: return "TIFF";
        case EImageFormat::Bmp: return "BMP";
        case EImageFormat::Gif: return "GIF";
        case EImageFormat::Tga: return "TGA";
        case EImageFormat::Pcx: return "PCX";
        case EImageFormat::Wmf: return "WMF";
        case EImageFormat::Emf: return "EMF";
        case EImageFormat::Webp: return "WebP";
        case EImageFormat::Avif: return "AVIF";
        case EImageFormat::Unknown: break;
    }
    return "unknown";
}

void SBitmap::Allocate(uint32_t w, uint32_t h) {
    width = sourceWidth = w;
    height = sourceHeight = h;
    pixels.assign(size_t(w) * h * 4, 0);
}

bool SBitmap::HasTransparency() const {
    for (size_t i = 3; i < pixels.size(); i += 4)
        if (pixels[i] != 255) return true;
    return false;
}

void SBitmap::OpaqueIfAlphaAllZero() {
    for (size_t i = 3; i < pixels.size(); i += 4)
        if (pixels[i] != 0) return;
    for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
}

void SBitmap::Clear() {
    *this = SBitmap{};
}

}  // namespace plover
