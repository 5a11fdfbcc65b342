#include "image/avif_library.h"

#include <mutex>

#include "image/lazy_library.h"

namespace plover {
namespace {

struct SLoaded {
    SAvifLibrary library{};
    bool ok = false;
    std::string error;
};

SLoaded Load() {
    SLoaded l;
    // The library's file name is the build's own (PLOVER_AVIF_SONAME): its structures are the
    // ones the header compiled here describes.
    void* handle = OpenLazyLibrary(PLOVER_AVIF_SONAME, "AVIF", l.error);
    if (!handle) return l;
    SAvifLibrary& a = l.library;
    bool bound = BindEntry(handle, "avifDecoderCreate", a.decoderCreate, l.error) &&
                 BindEntry(handle, "avifDecoderDestroy", a.decoderDestroy, l.error) &&
                 BindEntry(handle, "avifDecoderSetIOMemory", a.decoderSetIOMemory, l.error) &&
                 BindEntry(handle, "avifDecoderParse", a.decoderParse, l.error) &&
                 BindEntry(handle, "avifDecoderNextImage", a.decoderNextImage, l.error) &&
                 BindEntry(handle, "avifRGBImageSetDefaults", a.rgbImageSetDefaults, l.error) &&
                 BindEntry(handle, "avifImageYUVToRGB", a.imageYUVToRGB, l.error) &&
                 BindEntry(handle, "avifResultToString", a.resultToString, l.error) &&
                 BindEntry(handle, "avifVersion", a.version, l.error);
    l.ok = bound;  // the library stays loaded for the rest of the run either way
    return l;
}

}  // namespace

const SAvifLibrary* AvifLibrary(std::string* error) {
    static const SLoaded loaded = Load();
    if (!loaded.ok && error) *error = loaded.error;
    return loaded.ok ? &loaded.library : nullptr;
}

std::string AvifVersionText() {
    std::string error;
    const SAvifLibrary* avif = AvifLibrary(&error);
    return avif ? std::string(avif->version()) : error;
}

}  // namespace plover
