#pragma once
// The file form of the download history, "DownloadDB.sdb", as pure functions over bytes.
//
// Layout (little-endian): the version 1 (32-bit); n (32-bit) and n address strings; m (32-bit)
// and m path strings. A string is its length followed by its bytes (no terminator): one byte
// when the length is below 255; else 0xFF and 16 bits when below 0xFFFE; else 0xFF, 0xFFFF and
// 32 bits.
//
// Reading trusts nothing: every count and length is checked against the bytes that are left
// before anything is read or reserved. Entry i of the path list belongs to entry i of the address
// list, so the pairs are kept together whatever order the addresses have in the file: the
// caller inserts each pair at the sorted place of its address, and a repeated address keeps its
// first path. A file of another version, with lists of different lengths, a string form that the
// writer never produces or that ends early gives nothing (the history starts empty).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace plover {

inline constexpr uint32_t kDownloadDBVersion = 1;
inline constexpr const char* kDownloadDBName = "DownloadDB.sdb";

enum class EDownloadDBRead {
    Loaded,
    BadVersion,      // not version 1
    Truncated,       // ends inside a count or a string
    BadString,       // the 16-bit length 0xFFFE, which the writer never produces
    LengthMismatch,  // the two lists have different lengths
};

// Why a file was refused, as a phrase for a warning ("it ends early").
const char* DownloadDBReadText(EDownloadDBRead result);

// Appends one string in the length form above.
void AppendDBString(std::string& out, std::string_view text);

// The whole file for the two lists (which must be of equal length).
std::string EncodeDownloadDB(const std::vector<std::string>& addresses, const std::vector<std::string>& paths);

// Reads a whole file into the two lists in file order. On any result but Loaded both are empty.
EDownloadDBRead DecodeDownloadDB(std::string_view bytes, std::vector<std::string>& addresses,
                                 std::vector<std::string>& paths);

}  // namespace plover
