#pragma once
// libtiff, loaded the first time a TIFF picture is decoded. It brings its compression libraries
// (zstd, lzma, LERC, JBIG, deflate) along: mapped at every start they cost each run of the
// program about a millisecond and a half, though few runs meet a TIFF picture.
#include <tiffio.h>

#include <string>

namespace plover {

// The library's entry points, all set once it has loaded; typed by the header's declarations.
struct STiffLibrary {
    decltype(&::TIFFOpenOptionsAlloc) openOptionsAlloc;
    decltype(&::TIFFOpenOptionsFree) openOptionsFree;
    decltype(&::TIFFOpenOptionsSetMaxSingleMemAlloc) openOptionsSetMaxSingleMemAlloc;
    decltype(&::TIFFOpenOptionsSetErrorHandlerExtR) openOptionsSetErrorHandlerExtR;
    decltype(&::TIFFOpenOptionsSetWarningHandlerExtR) openOptionsSetWarningHandlerExtR;
    decltype(&::TIFFClientOpenExt) clientOpenExt;
    decltype(&::TIFFGetField) getField;
    decltype(&::TIFFGetFieldDefaulted) getFieldDefaulted;
    decltype(&::TIFFRGBAImageOK) rgbaImageOK;
    decltype(&::TIFFReadRGBAImageOriented) readRGBAImageOriented;
    decltype(&::TIFFClose) close;
    decltype(&::TIFFGetVersion) getVersion;
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const STiffLibrary* TiffLibrary(std::string* error = nullptr);

// The library's version for the about box, or why it cannot be loaded.
std::string TiffVersionText();

}  // namespace plover
