#pragma once
// The binary forms of the stored files (the page cache index, the download history): numbers
// little-endian, strings with the archive length prefix (one byte below 0xFF; else 0xFF and a
// 16-bit length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length). The reader checks what is
// left before every read, so a damaged file never reads past its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

void PutU8(std::string& out, uint8_t v);
void PutU16(std::string& out, uint16_t v);
void PutU32(std::string& out, uint32_t v);
void PutArchiveString(std::string& out, std::string_view text);

class CByteReader {
public:
    explicit CByteReader(std::string_view bytes) : bytes_(bytes) {}

    size_t Left() const { return bytes_.size() - pos_; }
    bool U8(uint8_t& v);
    bool U16(uint16_t& v);
    bool U32(uint32_t& v);
    bool Bytes(size_t n, std::string& out);

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// The outcome of reading one string: its length form may be one the writer never produces
// (0xFF, 0xFFFE).
enum class EStringRead { Ok, Truncated, BadForm };

EStringRead ReadArchiveString(CByteReader& in, std::string& out);

}  // namespace plover
