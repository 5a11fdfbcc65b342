#include "image/tiff_library.h"

namespace plover {
namespace {

// The library's file name is the build's own (PLOVER_TIFF_SONAME): its structures are the ones
// the header compiled here describes. It stays loaded for the rest of the run either way.
bool Load(STiffLibrary& table, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_TIFF_SONAME, "TIFF", error);
    return handle PLOVER_TIFF_ENTRIES(PLOVER_LAZY_BIND);
}

}  // namespace

const STiffLibrary* TiffLibrary(std::string* error) { return LoadedOnce<STiffLibrary, Load>(error); }

std::string TiffVersionText() {
    std::string error;
    const STiffLibrary* tiff = TiffLibrary(&error);
    return tiff ? std::string(tiff->TIFFGetVersion()) : error;
}

}  // namespace plover
