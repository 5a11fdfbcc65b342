#pragma once
// Running a list of picture files through the process-wide image loader for the thumb and info
// commands: a few requests are queued at a time (so decoding on the loader thread overlaps the
// caller's work on each finished picture, and memory stays bounded), and each finished image is
// handed back on the calling thread in the order of the files.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "image/br_image.h"

namespace plover::cli {

using ImageDone = std::function<void(size_t index, CBRImage& image)>;

// False when the loader refused the work (it has been shut down); every file was handed to
// `done` otherwise, loaded or not.
bool LoadEachImage(const std::vector<std::string>& files, const SSize* box, size_t window, const ImageDone& done);

}  // namespace plover::cli
