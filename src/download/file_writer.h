#pragma once
// The target file of a download: one descriptor, written with pwrite at each block's offset (no
// seek, no copy), extended to its full size at once when the size becomes known, and reopened
// without truncation when a saved download continues. Not thread-safe by itself: the download
// calls it from its owner's thread (the lock of the section list is never held across it).
#include <cstdint>
#include <string>

namespace plover {

class CTargetFile {
public:
    CTargetFile() = default;
    ~CTargetFile() { Close(); }
    CTargetFile(const CTargetFile&) = delete;
    CTargetFile& operator=(const CTargetFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Creates the file (truncating an old one) for reading and writing.
    bool Create(const std::string& path);
    // Opens an existing file for reading and writing without truncating it.
    bool OpenExisting(const std::string& path);
    void Close();

    // Writes the whole block at the offset (retrying short writes); false on any failure, with the
    // system's error number in *error when it is given.
    bool WriteAt(uint64_t offset, const uint8_t* data, size_t length, int* error = nullptr);
    // Sets the file's length (extending with a hole, or cutting).
    bool SetLength(uint64_t length);
    // The current length, or -1 when it cannot be read.
    int64_t GetLength() const;

private:
    int fd_ = -1;
};

// Whether a write failed for want of room (the file system is full, or the user's quota is).
bool IsNoSpaceError(int error);
// Whether a file (or anything) of that name exists.
bool PathExists(const std::string& path);
// Free bytes available to this user on the filesystem of `folder`; UINT64_MAX when unknown.
uint64_t FreeSpaceOf(const std::string& folder);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& out);
// Joins a folder and a name with one "/".
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace plover
