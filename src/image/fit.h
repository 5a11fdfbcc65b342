#pragma once
// Fitting a picture into a size box, and the resampling that shrinks it there.
//
// The fitting rule keeps the aspect ratio with the larger of the two ratios picture/box; the
// other side is truncated towards zero, and a side that would become 0 becomes 1. A picture
// that already fits stays as it is; one with a zero side fits to 0 x 0.
#include <cstdint>

#include "image/bitmap.h"

namespace plover {

SSize FitToBox(uint32_t width, uint32_t height, uint32_t boxWidth, uint32_t boxHeight);

// Area-averaging resample: every output pixel is the mean of the source area it covers, with
// partial pixels weighted by their share, in premultiplied alpha so that transparent pixels
// lend no colour. Source and result are RGBA; width and height must be at least 1.
SBitmap Resample(const SBitmap& src, uint32_t width, uint32_t height);

}  // namespace plover
