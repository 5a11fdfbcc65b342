#pragma once
// Pictures of the same content under two addresses: a gallery often links one picture from
// several pages, or serves it under a second name. A basket keeps it once. Two files are the same
// when their sizes are equal and then their SHA-256 digests are: the size alone rules out nearly
// every other file, so only a file of the same size is read.
#include <optional>
#include <string>

namespace plover {

// The SHA-256 digest of a file's content (32 bytes); nullopt when it cannot be read.
std::optional<std::string> Sha256OfFile(const std::string& path);

// Another regular file in the folder of `path` (not in its sub-folders) whose content is the same
// as that file's; empty when there is none or `path` cannot be read.
std::string FindSameContent(const std::string& path);

}  // namespace plover
