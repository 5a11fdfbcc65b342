#pragma once
// The files of the page cache on disk: the cached files themselves, named "srch" + hexadecimal
// digits + ".tmp" in the cache folder (made like the system's temporary-file names: a new empty
// file under a name that did not exist), and the index file beside them.
//
// The sweep at start-up deletes the cache's own files that the index does not name. It touches
// only names of that form ("srch*.tmp", any case): the cache folder may be a shared one (the
// temporary folder is the fallback), and other programs' ".tmp" files are not ours to delete.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace plover {

inline constexpr const char* kCacheFilePrefix = "srch";

// Whether a name has the form of a cached file: "srch", at least one character, ".tmp" (any case).
bool IsCacheFileName(const std::string& name);

// Creates a new empty file "srchXXXX.tmp" in folder that did not exist before; its name in *name.
// False when the folder cannot take one.
bool CreateCacheFile(const std::filesystem::path& folder, std::string* name);

// Deletes every file of the cached-file form in folder whose name (compared without regard to
// case) is not in keep. Returns how many were deleted.
int SweepCacheFolder(const std::filesystem::path& folder, const std::vector<std::string>& keep);

// The age of a file's last write in seconds (negative for a time in the future); false when the
// time cannot be read.
bool FileAgeSeconds(const std::filesystem::path& file, int64_t* age);
// Sets a file's last-write time to now.
void TouchFile(const std::filesystem::path& file);

bool IsRegularFile(const std::filesystem::path& file);
// Deletes a file; false when it could not be deleted (a missing file counts as deleted).
bool DeleteFile(const std::filesystem::path& file);

// Reads a whole file of at most maxBytes; false when it cannot be opened or read, or is larger.
// *opened tells whether the file could be opened at all.
bool ReadSmallFile(const std::filesystem::path& file, uint64_t maxBytes, std::string* bytes, bool* opened);
// Writes bytes to file through a temporary file beside it and a rename, so that an interrupted
// write leaves the old file whole. False (the old file kept) on failure.
bool WriteFileAtomically(const std::filesystem::path& file, const std::string& bytes);

// Places a whole copy of a file in folder under its own name, or under a new cache-file name
// when that one is taken; *name gives the name it got. A hard link where the file system allows
// it, else a copy of the bytes. Never replaces a file that was there; false (nothing left behind)
// when the copy cannot be made whole.
bool CopyIntoFolder(const std::filesystem::path& from, const std::filesystem::path& folder, std::string* name);

}  // namespace plover
