#include "image/avif_library.h"

#include "platform/lazy_library.h"

namespace plover {
namespace {

// The library's file name is the build's own (PLOVER_AVIF_SONAME): its structures are the ones
// the header compiled here describes. It stays loaded for the rest of the run either way.
bool Load(SAvifLibrary& a, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_AVIF_SONAME, "AVIF", error);
    return handle && BindEntry(handle, "avifDecoderCreate", a.decoderCreate, error) &&
           BindEntry(handle, "avifDecoderDestroy", a.decoderDestroy, error) &&
           BindEntry(handle, "avifDecoderSetIOMemory", a.decoderSetIOMemory, error) &&
           BindEntry(handle, "avifDecoderParse", a.decoderParse, error) &&
           BindEntry(handle, "avifDecoderNextImage", a.decoderNextImage, error) &&
           BindEntry(handle, "avifRGBImageSetDefaults", a.rgbImageSetDefaults, error) &&
           BindEntry(handle, "avifImageYUVToRGB", a.imageYUVToRGB, error) &&
           BindEntry(handle, "avifResultToString", a.resultToString, error) &&
           BindEntry(handle, "avifVersion", a.version, error);
}

}  // namespace

const SAvifLibrary* AvifLibrary(std::string* error) {
    static const CLazyLibrary<SAvifLibrary> loaded(Load);
    return loaded.Get(error);
}

std::string AvifVersionText() {
    std::string error;
    const SAvifLibrary* avif = AvifLibrary(&error);
    return avif ? std::string(avif->version()) : error;
}

}  // namespace plover
