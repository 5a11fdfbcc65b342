#pragma once
// libavif, loaded the first time an AVIF picture is decoded. Its AV1 decoders and encoders bring
// two dozen libraries with them: mapped at every start, they cost each run of the program several
// milliseconds, though most runs never meet an AVIF picture.
#include <avif/avif.h>

#include <string>

namespace plover {

// The library's entry points, all set once it has loaded.
struct SAvifLibrary {
    // Typed by the header's own declarations: a build against another libavif cannot mismatch.
    decltype(&::avifDecoderCreate) decoderCreate;
    decltype(&::avifDecoderDestroy) decoderDestroy;
    decltype(&::avifDecoderSetIOMemory) decoderSetIOMemory;
    decltype(&::avifDecoderParse) decoderParse;
    decltype(&::avifDecoderNextImage) decoderNextImage;
    decltype(&::avifRGBImageSetDefaults) rgbImageSetDefaults;
    decltype(&::avifImageYUVToRGB) imageYUVToRGB;
    decltype(&::avifResultToString) resultToString;
    decltype(&::avifVersion) version;
};

// The loaded library (the one the program was built against), or null with the reason in
// *error. Safe from any thread; the library is loaded at most once.
const SAvifLibrary* AvifLibrary(std::string* error = nullptr);

// The library's version for the about box, or why it cannot be loaded.
std::string AvifVersionText();

}  // namespace plover
