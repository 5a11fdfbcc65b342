#include "image/avif_library.h"

namespace plover {
namespace {

// The library's file name is the build's own (PLOVER_AVIF_SONAME): its structures are the ones
// the header compiled here describes. It stays loaded for the rest of the run either way.
bool Load(SAvifLibrary& table, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_AVIF_SONAME, "AVIF", error);
    return handle PLOVER_AVIF_ENTRIES(PLOVER_LAZY_BIND);
}

}  // namespace

const SAvifLibrary* AvifLibrary(std::string* error) { return LoadedOnce<SAvifLibrary, Load>(error); }

std::string AvifVersionText() {
    std::string error;
    const SAvifLibrary* avif = AvifLibrary(&error);
    return avif ? std::string(avif->avifVersion()) : error;
}

}  // namespace plover
