#pragma once
// A colour table of up to 256 entries for the indexed decoders. Every slot exists and starts
// opaque black, so an index beyond the colours a file declares reads black instead of reading
// outside the table.
#include <array>
#include <cstdint>
#include <cstring>

namespace plover {

struct SRgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

class CPalette {
public:
    static constexpr size_t kSlots = 256;
    const SRgba& operator[](size_t i) const { return i < kSlots ? slots_[i] : black_; }
    void Set(size_t i, SRgba c) {
        if (i < kSlots) slots_[i] = c;
    }
    void Grey(size_t count) {
        for (size_t i = 0; i < count && i < kSlots; ++i) {
            uint8_t v = uint8_t(count > 1 ? i * 255 / (count - 1) : 0);
            slots_[i] = {v, v, v, 255};
        }
    }

private:
    std::array<SRgba, kSlots> slots_{};
    SRgba black_{};
};

inline void PutRgba(uint8_t* row, size_t x, const SRgba& c) {
    uint8_t* p = row + x * 4;
    p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
}

}  // namespace plover
