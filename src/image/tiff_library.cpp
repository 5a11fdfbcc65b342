#include "image/tiff_library.h"

#include "platform/lazy_library.h"

namespace plover {
namespace {

// The library's file name is the build's own (PLOVER_TIFF_SONAME): its structures are the ones
// the header compiled here describes. It stays loaded for the rest of the run either way.
bool Load(STiffLibrary& t, std::string& error) {
    void* handle = OpenLazyLibrary(PLOVER_TIFF_SONAME, "TIFF", error);
    return handle && BindEntry(handle, "TIFFOpenOptionsAlloc", t.openOptionsAlloc, error) &&
           BindEntry(handle, "TIFFOpenOptionsFree", t.openOptionsFree, error) &&
           BindEntry(handle, "TIFFOpenOptionsSetMaxSingleMemAlloc", t.openOptionsSetMaxSingleMemAlloc, error) &&
           BindEntry(handle, "TIFFOpenOptionsSetErrorHandlerExtR", t.openOptionsSetErrorHandlerExtR, error) &&
           BindEntry(handle, "TIFFOpenOptionsSetWarningHandlerExtR", t.openOptionsSetWarningHandlerExtR, error) &&
           BindEntry(handle, "TIFFClientOpenExt", t.clientOpenExt, error) &&
           BindEntry(handle, "TIFFGetField", t.getField, error) &&
           BindEntry(handle, "TIFFGetFieldDefaulted", t.getFieldDefaulted, error) &&
           BindEntry(handle, "TIFFRGBAImageOK", t.rgbaImageOK, error) &&
           BindEntry(handle, "TIFFReadRGBAImageOriented", t.readRGBAImageOriented, error) &&
           BindEntry(handle, "TIFFClose", t.close, error) && BindEntry(handle, "TIFFGetVersion", t.getVersion, error);
}

}  // namespace

const STiffLibrary* TiffLibrary(std::string* error) {
    static const CLazyLibrary<STiffLibrary> loaded(Load);
    return loaded.Get(error);
}

std::string TiffVersionText() {
    std::string error;
    const STiffLibrary* tiff = TiffLibrary(&error);
    return tiff ? std::string(tiff->getVersion()) : error;
}

}  // namespace plover
