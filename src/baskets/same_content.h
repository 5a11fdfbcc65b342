#pragma once
// Pictures of the same content under two addresses: a gallery often links one picture from
// several pages, or serves it under a second name. A basket keeps it once. Two files are the same
// when their sizes are equal and then their SHA-256 digests are: the size alone rules out nearly
// every other file, so only a file of the same size is read.
#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace plover {

// The SHA-256 digest of a file's content (32 bytes); nullopt when it cannot be read (or OpenSSL,
// which computes it, cannot be loaded).
std::optional<std::string> Sha256OfFile(const std::string& path);

// Another regular file in the folder of `path` (not in its sub-folders) whose content is the same
// as that file's; empty when there is none or `path` cannot be read.
std::string FindSameContent(const std::string& path);

// FindSameContent for a run that finishes many files into a few folders: a folder's file sizes
// are read once and then kept, with the files this finder let stay added, instead of every file
// of the folder being looked at again for each new one (a basket of a thousand pictures would be a
// million looks). A folder is read afresh once its sizes are kMaxAge old, so files others put
// there are met again; a candidate is looked at on disk before it is read. One caller at a time.
class CSameContentFinder {
public:
    static constexpr std::chrono::seconds kMaxAge{10};
    using Clock = std::chrono::steady_clock;

    // As FindSameContent; when it finds none, `path` is taken as one of its folder's files.
    std::string Find(const std::string& path, Clock::time_point now = Clock::now());

private:
    struct SFolder {
        Clock::time_point read;
        std::multimap<uintmax_t, std::string> bySize;  // file names
    };
    SFolder& FolderOf(const std::string& folder, Clock::time_point now);

    std::map<std::string, SFolder> folders_;
};

}  // namespace plover
