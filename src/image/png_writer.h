#pragma once
// Writing a bitmap as a PNG file (the thumbnails' format), through libpng. Opaque pictures are
// written as RGB, others as RGBA. The file is written beside its final name and renamed into
// place, so an interrupted write never leaves half a picture under that name.
#include <cstdint>
#include <string>
#include <vector>

#include "image/bitmap.h"

namespace plover {

// The PNG bytes of `bmp`; false (with a reason) when libpng fails.
bool EncodePng(const SBitmap& bmp, std::vector<uint8_t>& out, std::string& error);
bool WritePngFile(const SBitmap& bmp, const std::string& path, std::string& error);

}  // namespace plover
