#include "image/avif_library.h"

#include <dlfcn.h>

#include <mutex>

namespace plover {
namespace {

struct SLoaded {
    SAvifLibrary library{};
    bool ok = false;
    std::string error;
};

template <class F>
bool Bind(void* handle, const char* name, F& out, std::string& error) {
    out = reinterpret_cast<F>(dlsym(handle, name));
    if (!out && error.empty()) error = std::string("libavif lacks ") + name;
    return out != nullptr;
}

SLoaded Load() {
    SLoaded l;
    // The library's file name is the build's own (PLOVER_AVIF_SONAME): its structures are the
    // ones the header compiled here describes.
    void* handle = dlopen(PLOVER_AVIF_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        l.error = std::string("AVIF support is missing: ") + (why ? why : PLOVER_AVIF_SONAME);
        return l;
    }
    SAvifLibrary& a = l.library;
    bool bound = Bind(handle, "avifDecoderCreate", a.decoderCreate, l.error) &&
                 Bind(handle, "avifDecoderDestroy", a.decoderDestroy, l.error) &&
                 Bind(handle, "avifDecoderSetIOMemory", a.decoderSetIOMemory, l.error) &&
                 Bind(handle, "avifDecoderParse", a.decoderParse, l.error) &&
                 Bind(handle, "avifDecoderNextImage", a.decoderNextImage, l.error) &&
                 Bind(handle, "avifRGBImageSetDefaults", a.rgbImageSetDefaults, l.error) &&
                 Bind(handle, "avifImageYUVToRGB", a.imageYUVToRGB, l.error) &&
                 Bind(handle, "avifResultToString", a.resultToString, l.error) &&
                 Bind(handle, "avifVersion", a.version, l.error);
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
