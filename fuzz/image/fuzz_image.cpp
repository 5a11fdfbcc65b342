// The whole loading path on arbitrary bytes: the format recognised from the content, the
// libraries' decoders (JPEG, PNG, TIFF, WebP, AVIF) with their error handling, ours, then fitting
// into a size box taken from the first bytes and resampling. Nothing may crash, leak or hang.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "image/decoder.h"
#include "image/fit.h"

using namespace plover;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SDecodeOptions opt;
    opt.maxPixels = 1u << 22;
    if (size >= 2) opt.box = {uint32_t(data[0] % 64 + 1), uint32_t(data[1] % 64 + 1)};
    SBitmap out;
    std::string error;
    if (!DecodeImage(data, size, opt, out, error)) {
        if (error.empty() || !out.pixels.empty()) abort();
        return 0;
    }
    if (out.pixels.size() != size_t(out.width) * out.height * 4) abort();
    SSize fit = FitToBox(out.sourceWidth, out.sourceHeight, opt.box.cx, opt.box.cy);
    if (fit.cx > out.sourceWidth || fit.cy > out.sourceHeight) abort();
    SBitmap small = Resample(out, fit.cx, fit.cy);
    if (small.pixels.size() != size_t(fit.cx) * fit.cy * 4) abort();
    return 0;
}
