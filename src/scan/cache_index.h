#pragma once
// The page cache's index: one row per cached address, kept as six parallel columns of equal
// length in the order of the first:
//   1. address (CStrArrayEx, sorted: ascending byte order, duplicates refused, binary search);
//   2. effective address (where the file finally came from, after redirections);
//   3. file name of the cached file in the cache folder (no folder);
//   4. the server's "Last-Modified" text for the file (empty if none);
//   5. size in bytes;
//   6. stamp: an insertion number, the eviction order (smallest first).
// It also keeps the total of the sizes (64-bit) and the next stamp (one more than the largest).
//
// The index file "PVCache.pvc" (little-endian): the version 7 (32-bit); the four string columns
// in the order above, each a 32-bit count and that many strings; the two number columns, each an
// array count and that many raw 32-bit numbers. A string is its bytes preceded by its length:
// one byte below 255, else 0xFF and 16 bits below 0xFFFE, else 0xFF, 0xFFFF and 32 bits. An array
// count is 16 bits below 0xFFFF, else 0xFFFF and 32 bits.
//
// Reading trusts nothing in the file: every count and length is checked against the bytes that
// are left before anything is read or reserved. A file whose columns differ in length, whose
// addresses are not strictly ascending (which would misalign the columns once sorted), whose
// file names are not plain names inside the cache folder, or whose stamps leave no room for the
// next one is refused whole; the caller then starts with an empty index.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/str_array.h"

namespace plover {

inline constexpr uint32_t kCacheIndexVersion = 7;
inline constexpr const char* kCacheIndexName = "PVCache.pvc";
// The most rows an index holds (about a million files; a full 2000 MB cache of 2 KB files). It
// bounds what a damaged or hostile index file can make the reader allocate; the page manager
// evicts the oldest row before adding beyond it.
inline constexpr int kMaxCacheRows = 1 << 20;
// The largest index file that is read at all (a full index takes a few hundred bytes a row).
inline constexpr uint64_t kMaxCacheIndexBytes = 512ull << 20;

struct SCacheRow {
    std::string url;
    std::string effectiveUrl;
    std::string fileName;
    std::string lastModified;
    uint32_t size = 0;
    uint32_t stamp = 0;
};

// Why an index file was refused.
enum class ECacheIndexLoad {
    Loaded,
    BadVersion,      // not version 7
    Truncated,       // ends inside a count, a string or a number column
    BadString,       // a string length form that the writer never produces
    LengthMismatch,  // the six columns are not of equal length
    Unsorted,        // an address is not strictly greater than the one before it
    BadFileName,     // a file name that is empty, "." or "..", or holds a path separator
    StampOverflow,   // the largest stamp leaves no next stamp
    TooLarge,        // more than kMaxCacheRows rows
};
const char* CacheIndexLoadText(ECacheIndexLoad result);

// A name that a cached file may have: not empty, not "." or "..", no '/', '\' or NUL.
bool IsPlainFileName(std::string_view name);

class CCacheIndex {
public:
    CCacheIndex();

    int GetCount() const { return urls_.GetSize(); }
    // The row of the address (exact comparison), or -1.
    int Find(const std::string& url) const { return urls_.Find(url); }
    SCacheRow GetRow(int i) const;
    const std::string& GetUrl(int i) const { return urls_[i]; }
    const std::string& GetEffectiveUrl(int i) const { return effective_[i]; }
    const std::string& GetFileName(int i) const { return files_[i]; }
    const std::string& GetLastModified(int i) const { return lastModified_[i]; }
    uint32_t GetSize(int i) const { return sizes_[i]; }
    uint32_t GetStamp(int i) const { return stamps_[i]; }
    uint64_t GetTotalSize() const { return total_; }
    uint32_t GetNextStamp() const { return nextStamp_; }
    const std::vector<std::string>& FileNames() const { return files_.Items(); }

    // Inserts a row at the address's sorted position with the next stamp (which then grows) and
    // adds its size to the total. -1 (nothing added) when the address already has a row.
    int Add(const std::string& url, const std::string& effectiveUrl, const std::string& fileName,
            const std::string& lastModified, uint32_t size);
    void SetLastModified(int i, const std::string& text);
    void SetFileName(int i, const std::string& name);
    // Points row i at a newly fetched copy: effective address, file, date and size, a new stamp.
    void Renew(int i, const std::string& effectiveUrl, const std::string& fileName, const std::string& lastModified,
               uint32_t size);
    // Removes row i from all six columns; its size leaves the total. The file is not touched.
    void RemoveAt(int i);
    // Removes every listed row (positions, any order) in one pass.
    void RemoveRows(std::vector<int> rows);
    // Empties every column; total and next stamp become 0.
    void Clear();

    // The rows to evict so that the total is at most `limit`: smallest stamp first (the first
    // position among equal stamps), in eviction order. When the limit is below what even an empty
    // index would hold (never, as sizes are not negative) the list names every row.
    std::vector<int> PickEvictions(uint64_t limit) const;

    // The index file's bytes.
    std::string Serialize() const;
    // Replaces this index with the file's rows; on refusal the index is left empty.
    ECacheIndexLoad Parse(std::string_view bytes);

private:
    void Recount();

    CStrArrayEx urls_{true};
    CStrArrayEx effective_;
    CStrArrayEx files_;
    CStrArrayEx lastModified_;
    CDWordArrayEx sizes_;
    CDWordArrayEx stamps_;
    uint64_t total_ = 0;
    uint32_t nextStamp_ = 0;
};

}  // namespace plover
