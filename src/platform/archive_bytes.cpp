#include "platform/archive_bytes.h"

namespace plover {

void PutU8(std::string& out, uint8_t v) { out.push_back(char(v)); }

void PutU16(std::string& out, uint16_t v) {
    PutU8(out, uint8_t(v));
    PutU8(out, uint8_t(v >> 8));
}

void PutU32(std::string& out, uint32_t v) {
    PutU16(out, uint16_t(v));
    PutU16(out, uint16_t(v >> 16));
}

void PutArchiveString(std::string& out, std::string_view text) {
    size_t n = text.size();
    if (n < 0xFF) {
        PutU8(out, uint8_t(n));
    } else if (n < 0xFFFE) {
        PutU8(out, 0xFF);
        PutU16(out, uint16_t(n));
    } else {
        PutU8(out, 0xFF);
        PutU16(out, 0xFFFF);
        PutU32(out, uint32_t(n));
    }
    out.append(text);
}

EStringRead ReadArchiveString(CByteReader& in, std::string& out) {
    uint8_t b;
    if (!in.U8(b)) return EStringRead::Truncated;
    uint32_t length = b;
    if (b == 0xFF) {
        uint16_t w;
        if (!in.U16(w)) return EStringRead::Truncated;
        if (w == 0xFFFE) return EStringRead::BadForm;
        length = w;
        if (w == 0xFFFF && !in.U32(length)) return EStringRead::Truncated;
    }
    return in.Bytes(length, out) ? EStringRead::Ok : EStringRead::Truncated;
}

}  // namespace plover
