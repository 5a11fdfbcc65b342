#pragma once
// Writing a bitmap as JPEG bytes (the answers of the picture server for opaque pictures: a photo
// fitted to a screen is a tenth of its size as PNG and quicker to make), through libjpeg. The
// alpha byte is ignored: pictures with transparency go out as PNG (png_writer.h).
#include <cstdint>
#include <string>
#include <vector>

#include "image/bitmap.h"

namespace plover {

// The JPEG bytes of `bmp` at `quality` (1 to 100); false (with a reason) when libjpeg fails.
bool EncodeJpeg(const SBitmap& bmp, int quality, std::vector<uint8_t>& out, std::string& error);

}  // namespace plover
