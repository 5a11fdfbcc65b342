// GIF: the first frame, drawn on a transparent canvas of the logical screen's size, with its
// transparent colour, interlaced or not. As in browsers, what lies outside the screen is clipped,
// and a first frame wider or taller than the screen (files that declare 0x0 are common) widens
// the screen to its size and is drawn at the origin. The LZW decoder checks every code against the table built so far: a code beyond it ends
// the data, as does the end of the sub-blocks; pixels not reached stay transparent.
#include <algorithm>
#include <vector>

#include "platform/byte_reader.h"
#include "image/decoder.h"
#include "image/palette.h"

namespace plover {
namespace {

constexpr uint32_t kMaxCodes = 4096;

// The bits of the image data, read across its sub-blocks, least significant bit first.
class CSubBlockBits {
public:
    explicit CSubBlockBits(CByteReader& r) : r_(r) {}
    // False at the end of the data (a zero-length block or the end of the file).
    bool Read(uint32_t bits, uint32_t& code) {
        while (count_ < bits) {
            if (left_ == 0) {
                uint8_t len;
                if (ended_ || !r_.U8(len) || len == 0) {
                    ended_ = true;
                    return false;
                }
                left_ = len;
            }
            uint8_t byte;
            if (!r_.U8(byte)) {
                ended_ = true;
                return false;
            }
            --left_;
            acc_ |= uint32_t(byte) << count_;
            count_ += 8;
        }
        code = acc_ & ((1u << bits) - 1);
        acc_ >>= bits;
        count_ -= bits;
        return true;
    }

private:
    CByteReader& r_;
    uint32_t acc_ = 0, count_ = 0, left_ = 0;
    bool ended_ = false;
};

// Where decoded pixels go: frame position, interlaced row order, transparency.
struct SFrameSink {
    SBitmap* canvas;
    const CPalette* pal;
    int transparent;  // -1: none
    uint32_t left, top, width, height;
    std::vector<uint32_t> rowOrder;
    uint64_t next = 0;

    bool Full() const { return next >= uint64_t(width) * height; }
    void Put(uint8_t index) {
        if (Full()) return;
        uint32_t x = left + uint32_t(next % width), y = top + rowOrder[next / width];
        ++next;
        if (int(index) == transparent || x >= canvas->width || y >= canvas->height) return;
        PutRgba(canvas->Row(y), x, (*pal)[index]);
    }
};

std::vector<uint32_t> RowOrder(uint32_t height, bool interlaced) {
    std::vector<uint32_t> order;
    order.reserve(height);
    if (!interlaced) {
        for (uint32_t y = 0; y < height; ++y) order.push_back(y);
        return order;
    }
    const uint32_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (uint32_t y = start[pass]; y < height; y += step[pass]) order.push_back(y);
    return order;
}

void DecodeLzw(CByteReader& r, uint32_t minSize, SFrameSink& sink) {
    std::vector<uint16_t> prefix(kMaxCodes);
    std::vector<uint8_t> suffix(kMaxCodes), first(kMaxCodes);
    std::vector<uint16_t> length(kMaxCodes);
    std::vector<uint8_t> stack(kMaxCodes);
    const uint32_t clear = 1u << minSize, end = clear + 1;
    for (uint32_t i = 0; i < clear; ++i) suffix[i] = first[i] = uint8_t(i), length[i] = 1;
    uint32_t next = clear + 2, size = minSize + 1;
    int prev = -1;
    CSubBlockBits bits(r);
    uint32_t code;
    while (!sink.Full() && bits.Read(size, code)) {
        if (code == clear) {
            next = clear + 2, size = minSize + 1, prev = -1;
            continue;
        }
        if (code == end) break;
        if (prev < 0) {
            if (code >= clear) break;  // only a root code may follow a clear
            sink.Put(uint8_t(code));
            prev = int(code);
            continue;
        }
        uint32_t emit = code;
        if (code < next) {
            if (next < kMaxCodes) prefix[next] = uint16_t(prev), suffix[next] = first[code];
        } else if (code == next && next < kMaxCodes) {
            prefix[next] = uint16_t(prev), suffix[next] = first[prev];
        } else {
            break;  // a code the table does not hold yet
        }
        if (next < kMaxCodes) {
            first[next] = first[prev];
            length[next] = uint16_t(length[prev] + 1);
            if (++next == (1u << size) && size < 12) ++size;
        }
        uint32_t n = length[emit], at = n;
        for (uint32_t c = emit; at > 0; c = prefix[c]) stack[--at] = suffix[c];
        for (uint32_t i = 0; i < n; ++i) sink.Put(stack[i]);
        prev = int(code);
    }
}

void SkipSubBlocks(CByteReader& r) {
    uint8_t len;
    while (r.U8(len) && len != 0 && r.Skip(len)) {
    }
}

bool ReadColorTable(CByteReader& r, uint8_t flags, CPalette& pal) {
    size_t count = size_t(2) << (flags & 7);
    const uint8_t* p = r.Take(count * 3);
    if (!p) return false;
    for (size_t i = 0; i < count; ++i) pal.Set(i, {p[3 * i], p[3 * i + 1], p[3 * i + 2], 255});
    return true;
}

}  // namespace

bool DecodeGif(const uint8_t* d, size_t n, const SDecodeOptions& opt, SBitmap& out, std::string& error) {
    CByteReader r(d, n);
    const uint8_t* head = r.Take(13);
    if (!head || (std::string(reinterpret_cast<const char*>(head), 6) != "GIF87a" &&
                  std::string(reinterpret_cast<const char*>(head), 6) != "GIF89a")) {
        error = "not a GIF";
        return false;
    }
    uint32_t screenW = Le16(head + 6), screenH = Le16(head + 8);
    CPalette global, local;
    bool hasGlobal = head[10] & 0x80;
    uint32_t globalBits = (head[10] & 7) + 1;
    if (hasGlobal && !ReadColorTable(r, head[10], global)) {
        error = "truncated colour table";
        return false;
    }
    int transparent = -1;
    uint8_t block;
    while (r.U8(block)) {
        if (block == 0x21) {  // extension
            uint8_t label;
            if (!r.U8(label)) break;
            if (label == 0xF9 && r.Remaining() >= 6 && d[r.Pos()] >= 4)
                transparent = (d[r.Pos() + 1] & 1) ? d[r.Pos() + 4] : -1;
            SkipSubBlocks(r);
            continue;
        }
        if (block != 0x2C) break;  // the trailer, or garbage: no picture in either case
        const uint8_t* desc = r.Take(9);
        if (!desc) break;
        SFrameSink sink;
        sink.left = Le16(desc), sink.top = Le16(desc + 2), sink.width = Le16(desc + 4), sink.height = Le16(desc + 6);
        uint8_t flags = desc[8];
        uint32_t bits = hasGlobal ? globalBits : 8;
        const CPalette* pal = &global;
        if (flags & 0x80) {
            if (!ReadColorTable(r, flags, local)) break;
            pal = &local, bits = (flags & 7) + 1;
        } else if (!hasGlobal) {
            global.Grey(256);
        }
        if (sink.width > screenW || sink.height > screenH) {
            screenW = std::max(screenW, sink.width), screenH = std::max(screenH, sink.height);
            sink.left = sink.top = 0;
        }
        uint32_t canvasW = screenW, canvasH = screenH;
        if (!CheckPictureSize(canvasW, canvasH, opt, error)) return false;
        uint8_t minSize;
        if (!r.U8(minSize) || minSize < 1 || minSize > 11) {
            error = "bad LZW code size";
            return false;
        }
        out.Allocate(canvasW, canvasH);
        out.bitDepth = bits;
        if (sink.width > 0 && sink.height > 0) {
            sink.canvas = &out, sink.pal = pal, sink.transparent = transparent;
            sink.rowOrder = RowOrder(sink.height, flags & 0x40);
            DecodeLzw(r, minSize, sink);
        }
        return true;
    }
    error = "no picture in the file";
    return false;
}

}  // namespace plover
