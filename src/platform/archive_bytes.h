#pragma once
// The binary forms of the stored files (the page cache index, the download history): numbers
// little-endian, strings with the archive length prefix (one byte below 0xFF; else 0xFF and a
// 16-bit length below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length). The reader checks what is
// left before every read (CByteReader), so a damaged file never reads past its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_reader.h"

namespace plover {

void PutU8(std::string& out, uint8_t v);
void PutU16(std::string& out, uint16_t v);
void PutU32(std::string& out, uint32_t v);
void PutArchiveString(std::string& out, std::string_view text);

// The outcome of reading one string: its length form may be one the writer never produces
// (0xFF, 0xFFFE).
enum class EStringRead { Ok, Truncated, BadForm };

EStringRead ReadArchiveString(CByteReader& in, std::string& out);

}  // namespace plover
