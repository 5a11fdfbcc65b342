#pragma once
// Which files a folder listing shows as pictures (thumbnails, the viewer's previous and next):
// by the name's extension, since reading every file of a large folder would be slow. The loader
// still recognises the format from the content when the picture is opened.
#include <string>

namespace plover::web {

// A name ending in one of the extensions of the formats the image loader reads, in any case.
bool IsPictureName(const std::string& name);

}  // namespace plover::web
