#pragma once
// libavif, loaded the first time an AVIF picture is decoded. Its AV1 decoders and encoders bring
// two dozen libraries with them: mapped at every start, they cost each run of the program several
// milliseconds, though most runs never meet an AVIF picture.
#include <avif/avif.h>

#include <string>

#include "platform/lazy_library.h"

// The library's entry points the decoder calls (lazy_library.h).
#define PLOVER_AVIF_ENTRIES(X) \
    X(avifDecoderCreate)       \
    X(avifDecoderDestroy)      \
    X(avifDecoderSetIOMemory)  \
    X(avifDecoderParse)        \
    X(avifDecoderNextImage)    \
    X(avifRGBImageSetDefaults) \
    X(avifImageYUVToRGB)       \
    X(avifResultToString)      \
    X(avifVersion)

namespace plover {

// Typed by the header's own declarations: a build against another libavif cannot mismatch.
struct SAvifLibrary {
    PLOVER_AVIF_ENTRIES(PLOVER_LAZY_FIELD)
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const SAvifLibrary* AvifLibrary(std::string* error = nullptr);

// The library's version for the about box, or why it cannot be loaded.
std::string AvifVersionText();

}  // namespace plover
