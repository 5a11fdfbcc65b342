#include "image/tiff_library.h"

#include "image/lazy_library.h"

namespace plover {
namespace {

struct SLoaded {
    STiffLibrary library{};
    bool ok = false;
    std::string error;
};

SLoaded Load() {
    SLoaded l;
    // The library's file name is the build's own (PLOVER_TIFF_SONAME): its structures are the
    // ones the header compiled here describes.
    void* handle = OpenLazyLibrary(PLOVER_TIFF_SONAME, "TIFF", l.error);
    if (!handle) return l;
    STiffLibrary& t = l.library;
    l.ok = BindEntry(handle, "TIFFOpenOptionsAlloc", t.openOptionsAlloc, l.error) &&
           BindEntry(handle, "TIFFOpenOptionsFree", t.openOptionsFree, l.error) &&
           BindEntry(handle, "TIFFOpenOptionsSetMaxSingleMemAlloc", t.openOptionsSetMaxSingleMemAlloc, l.error) &&
           BindEntry(handle, "TIFFOpenOptionsSetErrorHandlerExtR", t.openOptionsSetErrorHandlerExtR, l.error) &&
           BindEntry(handle, "TIFFOpenOptionsSetWarningHandlerExtR", t.openOptionsSetWarningHandlerExtR, l.error) &&
           BindEntry(handle, "TIFFClientOpenExt", t.clientOpenExt, l.error) &&
           BindEntry(handle, "TIFFGetField", t.getField, l.error) &&
           BindEntry(handle, "TIFFGetFieldDefaulted", t.getFieldDefaulted, l.error) &&
           BindEntry(handle, "TIFFRGBAImageOK", t.rgbaImageOK, l.error) &&
           BindEntry(handle, "TIFFReadRGBAImageOriented", t.readRGBAImageOriented, l.error) &&
           BindEntry(handle, "TIFFClose", t.close, l.error) &&
           BindEntry(handle, "TIFFGetVersion", t.getVersion, l.error);
    return l;  // the library stays loaded for the rest of the run either way
}

}  // namespace

const STiffLibrary* TiffLibrary(std::string* error) {
    static const SLoaded loaded = Load();
    if (!loaded.ok && error) *error = loaded.error;
    return loaded.ok ? &loaded.library : nullptr;
}

std::string TiffVersionText() {
    std::string error;
    const STiffLibrary* tiff = TiffLibrary(&error);
    return tiff ? std::string(tiff->getVersion()) : error;
}

}  // namespace plover
