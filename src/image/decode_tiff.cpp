// TIFF through libtiff, read from memory with client procedures. libtiff reports errors by
// return values; its messages go to handlers of this one open (not the process-wide ones), and
// its single allocations are capped. The first directory (page) is decoded through the RGBA
// interface, which handles every photometric interpretation libtiff knows.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "image/decoder.h"
#include "image/tiff_library.h"

namespace plover {
namespace {

struct STiffSource {
    const uint8_t* data;
    size_t size;
    uint64_t pos;
    char message[200];
};

STiffSource* SourceOf(thandle_t h) { return static_cast<STiffSource*>(h); }

tmsize_t OnRead(thandle_t h, void* buf, tmsize_t n) {
    STiffSource* s = SourceOf(h);
    if (n <= 0 || s->pos >= s->size) return 0;
    size_t take = std::min<uint64_t>(uint64_t(n), s->size - s->pos);
    std::memcpy(buf, s->data + s->pos, take);
    s->pos += take;
    return tmsize_t(take);
}

tmsize_t OnWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t OnSeek(thandle_t h, toff_t off, int whence) {
    STiffSource* s = SourceOf(h);
    uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
    s->pos = base + off;  // unsigned: a backwards seek arrives as a wrapped offset
    return s->pos;
}

int OnClose(thandle_t) { return 0; }
toff_t OnSize(thandle_t h) { return SourceOf(h)->size; }

int OnMap(thandle_t h, void** base, toff_t* size) {
    *base = const_cast<uint8_t*>(SourceOf(h)->data);  // read-only mode: libtiff never writes it
    *size = SourceOf(h)->size;
    return 1;
}

void OnUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* s = static_cast<STiffSource*>(user);
    if (!s->message[0]) {
        char text[160];
        std::vsnprintf(text, sizeof text, fmt, ap);
        std::snprintf(s->message, sizeof s->message, "%s%s%s", module ? module : "", module ? ": " : "", text);
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* OpenFromMemory(const STiffLibrary& lib, STiffSource& src, uint64_t maxPixels) {
    TIFFOpenOptions* opts = lib.TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    lib.TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(std::min<uint64_t>(maxPixels * 8 + (16u << 20), 1u << 30)));
    lib.TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, &src);
    lib.TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, &src);
    TIFF* tif = lib.TIFFClientOpenExt("memory", "r", &src, OnRead, OnWrite, OnSeek, OnClose, OnSize, OnMap, OnUnmap, opts);
    lib.TIFFOpenOptionsFree(opts);
    return tif;
}

// libtiff's RGBA raster is packed in 32-bit words with premultiplied alpha; ours is bytes with
// straight alpha.
void UnpackRaster(SBitmap& out) {
    for (size_t i = 0; i + 3 < out.pixels.size(); i += 4) {
        uint32_t v;
        std::memcpy(&v, &out.pixels[i], 4);
        uint8_t r = uint8_t(TIFFGetR(v)), g = uint8_t(TIFFGetG(v)), b = uint8_t(TIFFGetB(v)), a = uint8_t(TIFFGetA(v));
        if (a != 255 && a != 0) {
            r = uint8_t(std::min(255, r * 255 / a));
            g = uint8_t(std::min(255, g * 255 / a));
            b = uint8_t(std::min(255, b * 255 / a));
        }
        out.pixels[i] = r, out.pixels[i + 1] = g, out.pixels[i + 2] = b, out.pixels[i + 3] = a;
    }
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    const STiffLibrary* lib = TiffLibrary(&error);
    if (!lib) return false;
    STiffSource src{data, size, 0, {}};
    TIFF* tif = OpenFromMemory(*lib, src, opt.maxPixels);
    if (!tif) {
        error = src.message[0] ? src.message : "cannot open TIFF";
        return false;
    }
    uint32_t w = 0, h = 0;
    uint16_t bps = 0, spp = 0;
    lib->TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    lib->TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    lib->TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    lib->TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    char why[1024] = "";
    bool ok = CheckPictureSize(w, h, opt, error);
    if (ok && !lib->TIFFRGBAImageOK(tif, why)) {
        error = why[0] ? why : "unsupported TIFF";
        ok = false;
    }
    if (ok) {
        out.Allocate(w, h);
        out.bitDepth = uint32_t(bps) * spp;
        ok = lib->TIFFReadRGBAImageOriented(tif, w, h, reinterpret_cast<uint32_t*>(out.pixels.data()), ORIENTATION_TOPLEFT,
                                       1) != 0;
        if (ok) UnpackRaster(out);
        else error = src.message[0] ? src.message : "cannot decode TIFF";
    }
    lib->TIFFClose(tif);
    return ok;
}

}  // namespace plover
