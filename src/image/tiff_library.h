#pragma once
// libtiff, loaded the first time a TIFF picture is decoded. It brings its compression libraries
// (zstd, lzma, LERC, JBIG, deflate) along: mapped at every start they cost each run of the
// program about a millisecond and a half, though few runs meet a TIFF picture.
#include <tiffio.h>

#include <string>

#include "platform/lazy_library.h"

// The library's entry points the decoder calls (lazy_library.h).
#define PLOVER_TIFF_ENTRIES(X)              \
    X(TIFFOpenOptionsAlloc)                 \
    X(TIFFOpenOptionsFree)                  \
    X(TIFFOpenOptionsSetMaxSingleMemAlloc)  \
    X(TIFFOpenOptionsSetErrorHandlerExtR)   \
    X(TIFFOpenOptionsSetWarningHandlerExtR) \
    X(TIFFClientOpenExt)                    \
    X(TIFFGetField)                         \
    X(TIFFGetFieldDefaulted)                \
    X(TIFFRGBAImageOK)                      \
    X(TIFFReadRGBAImageOriented)            \
    X(TIFFClose)                            \
    X(TIFFGetVersion)

namespace plover {

// Typed by the header's own declarations.
struct STiffLibrary {
    PLOVER_TIFF_ENTRIES(PLOVER_LAZY_FIELD)
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const STiffLibrary* TiffLibrary(std::string* error = nullptr);

// The library's version for the about box, or why it cannot be loaded.
std::string TiffVersionText();

}  // namespace plover
