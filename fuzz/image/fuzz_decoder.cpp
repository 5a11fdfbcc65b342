// One of our own decoders (chosen by FUZZ_DECODER at build time) on arbitrary bytes. It must
// fail with a reason or produce a picture whose buffer matches its size, and never crash, leak
// or hang. The pixel limit is lowered so that huge declared sizes cost nothing per run.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/decoder.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SDecodeOptions opt;
    opt.maxPixels = 1u << 22;
    SBitmap out;
    std::string error;
    if (FUZZ_DECODER(data, size, opt, out, error)) {
        if (out.pixels.size() != size_t(out.width) * out.height * 4) abort();
    } else if (error.empty()) {
        abort();
    }
    return 0;
}
