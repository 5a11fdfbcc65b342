#pragma once
// The page's files compiled into the program (generated from web/ at build time), found by their
// path below web/ ("index.html", "js/app.js").
#include <cstddef>
#include <string>

namespace plover::web {

struct SWebAsset {
    const char* path;  // null ends the table
    const unsigned char* data;
    size_t size;
};

extern const SWebAsset kWebAssets[];

// The file of that path, or null.
const SWebAsset* FindAsset(const std::string& path);
// The Content-Type for a file name by its extension.
const char* MimeType(const std::string& path);

}  // namespace plover::web
