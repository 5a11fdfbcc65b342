#pragma once
// Bulk storage behind a parsed page: every node, attribute and text of one parser lives in a few
// large blocks that are freed together when the parser goes. Pages can hold millions of elements,
// so a node is a fixed-size record in a chunked pool (addresses stay put while the pool grows),
// and strings are copied into a chunked byte arena as length-prefixed records instead of being
// separate heap strings. Nothing is freed one by one, so a deep tree costs nothing to delete.
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace plover::html {

// Bytes with no alignment, handed out from blocks of kBlockSize (larger requests get a block of
// their own).
class CByteArena {
public:
    char* Allocate(size_t size);
    size_t BytesReserved() const { return reserved_; }
    // Forgets every record; the first block stays for the next use, the others are freed.
    void Clear();

private:
    static constexpr size_t kBlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks_;
    bool firstIsRegular_ = false;  // blocks_[0] is a block of kBlockSize (not one large string's)
    char* next_ = nullptr;
    size_t left_ = 0;
    size_t reserved_ = 0;
};

// A length-prefixed string record in the arena: the length as a base-128 varint (one byte for
// the usual short strings), then the bytes.
inline size_t VarintSize(uint64_t value) {
    size_t n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

inline const char* StoreText(CByteArena& arena, std::string_view text, size_t prefix = 0) {
    uint64_t length = text.size();
    char* record = arena.Allocate(prefix + VarintSize(length) + text.size());
    char* p = record + prefix;
    for (; length >= 0x80; length >>= 7) *p++ = char(0x80 | (length & 0x7F));
    *p++ = char(length);
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    return record;
}

inline std::string_view LoadText(const char* record) {
    if (!record) return {};
    uint64_t length = 0;
    int shift = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(record);
    for (; *p & 0x80; ++p, shift += 7) length |= uint64_t(*p & 0x7F) << shift;
    length |= uint64_t(*p++) << shift;
    return {reinterpret_cast<const char*>(p), size_t(length)};
}

// An attribute record: [next record pointer][text record]; the list of one element's attributes.
inline const char* NextAttribute(const char* record) {
    const char* next;
    std::memcpy(&next, record, sizeof next);
    return next;
}
inline void SetNextAttribute(const char* record, const char* next) {
    std::memcpy(const_cast<char*>(record), &next, sizeof next);
}
inline std::string_view AttributeText(const char* record) { return LoadText(record + sizeof(const char*)); }
inline const char* StoreAttribute(CByteArena& arena, std::string_view text) {
    const char* record = StoreText(arena, text, sizeof(const char*));
    SetNextAttribute(record, nullptr);
    return record;
}

// Records of type T, created in order and addressed by index; addresses never move. The chunks
// grow from kFirstChunk records, doubling, to kChunk: a page of a few dozen elements (most pages a
// scan reads) builds and clears a few kilobytes, not the hundred of one full chunk.
template <class T>
class CChunkedPool {
public:
    T* New() {
        if (count_ == capacity_) {
            size_t size = ChunkSize(chunks_.size());
            chunks_.push_back(std::make_unique<T[]>(size));
            capacity_ += size;
        }
        return At(count_++);
    }
    size_t Size() const { return count_; }
    // Forgets every record (each used one is made anew); the first chunk stays for the next use,
    // the others are freed.
    void Clear() {
        if (chunks_.size() > 1) chunks_.resize(1);
        size_t kept = chunks_.empty() ? 0 : ChunkSize(0);
        for (size_t i = 0; i < count_ && i < kept; ++i) {
            std::destroy_at(&chunks_[0][i]);
            std::construct_at(&chunks_[0][i]);
        }
        count_ = 0;
        capacity_ = kept;
    }
    T* At(size_t index) const {
        if (index < kGrowingTotal) {
            // Chunk k (k < kGrowingChunks) starts at kFirstChunk * (2^k - 1).
            size_t k = size_t(std::bit_width(index / kFirstChunk + 1)) - 1;
            return &chunks_[k][index - kFirstChunk * ((size_t(1) << k) - 1)];
        }
        index -= kGrowingTotal;
        return &chunks_[kGrowingChunks + index / kChunk][index % kChunk];
    }

private:
    static constexpr size_t kFirstChunk = 64;
    static constexpr size_t kChunk = 1024;
    static constexpr size_t kGrowingChunks = 4;  // 64, 128, 256 and 512 records
    static constexpr size_t kGrowingTotal = kFirstChunk * ((size_t(1) << kGrowingChunks) - 1);
    static_assert(kFirstChunk << kGrowingChunks == kChunk, "the growing chunks end where the full ones begin");
    static size_t ChunkSize(size_t k) { return k < kGrowingChunks ? kFirstChunk << k : kChunk; }

    std::vector<std::unique_ptr<T[]>> chunks_;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

}  // namespace plover::html
