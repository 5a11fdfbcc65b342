#pragma once
// Which pictures the scan documents may show, and as what. A picture is named by the server (a
// scan result's small picture in the page cache, a preview or a file the history knows), never by a
// path from the browser; even so every path is resolved before it is read, and it is served only
// when the resolved file lies strictly below one of the allowed folders (the page cache, the
// preview folder, the basket folders): a symbolic link or a ".." out of them reaches nothing.
// The type is taken from the file's first bytes, not its name: the page cache stores pictures under
// names of its own, and a file that is no picture is refused rather than sent as one.
#include <string>
#include <string_view>
#include <vector>

namespace plover::web {

// "image/jpeg", "image/png", "image/gif", "image/bmp", "image/webp" by the magic bytes at the start
// of a file; empty for anything else.
const char* PictureMimeType(std::string_view head);

// Resolves path (every link followed) and answers the real path when it is a regular file strictly
// below one of the folders (each resolved too, compared by whole names); empty otherwise.
std::string ResolveServedFile(const std::string& path, const std::vector<std::string>& folders);

// Reads up to maxBytes of a resolved file; false when it cannot be read or is larger.
bool ReadServedFile(const std::string& path, size_t maxBytes, std::string& out);

}  // namespace plover::web
