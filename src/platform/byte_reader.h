#pragma once
// Bounds-checked reading of little-endian file structures (pictures, the page cache index, the
// download history): every read reports whether the bytes were there, so a reader never looks
// past the end of a hostile file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

class CByteReader {
public:
    CByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit CByteReader(std::string_view bytes)
        : CByteReader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}

    size_t Pos() const { return pos_; }
    size_t Size() const { return size_; }
    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    bool Seek(size_t pos) {
        if (pos > size_) return false;
        pos_ = pos;
        return true;
    }
    bool Skip(size_t n) {
        if (n > Remaining()) return false;
        pos_ += n;
        return true;
    }
    // The next n bytes, or nullptr when fewer remain (nothing is consumed then).
    const uint8_t* Take(size_t n) {
        if (n > Remaining()) return nullptr;
        const uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }
    bool U8(uint8_t& v) {
        if (pos_ >= size_) return false;
        v = data_[pos_++];
        return true;
    }
    bool U16(uint16_t& v) {
        const uint8_t* p = Take(2);
        if (p) v = Le16(p);
        return p != nullptr;
    }
    bool U32(uint32_t& v) {
        const uint8_t* p = Take(4);
        if (p) v = Le32(p);
        return p != nullptr;
    }
    // The next n bytes as a string; false (nothing consumed) when fewer remain.
    bool Bytes(size_t n, std::string& out) {
        const uint8_t* p = Take(n);
        if (p) out.assign(reinterpret_cast<const char*>(p), n);
        return p != nullptr;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace plover
