#include "net/received_data.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "net/transfer_window.h"

namespace plover {
namespace {

static_assert(CReceivedData::kCapacity == kMaxSocketRead + 1, "a block holds the largest read and its zero byte");

// Blocks of fewer bytes than this have an allocation of their own size; larger ones a pooled block.
constexpr uint32_t kPooledFrom = 16 * 1024;
// Free blocks kept for reuse; more are released.
constexpr size_t kMaxFreeBlocks = 16;

class CBlockPool {
public:
    uint8_t* Take() {
        {
            std::lock_guard guard(lock_);
            if (!free_.empty()) {
                uint8_t* p = free_.back();
                free_.pop_back();
                return p;
            }
        }
        return new uint8_t[CReceivedData::kCapacity];
    }
    void Give(uint8_t* p) {
        {
            std::lock_guard guard(lock_);
            if (free_.size() < kMaxFreeBlocks) {
                free_.push_back(p);
                return;
            }
        }
        delete[] p;
    }

private:
    std::mutex lock_;
    std::vector<uint8_t*> free_;
};

// Never destroyed: blocks may still be freed while the process ends.
CBlockPool& Pool() {
    static CBlockPool* pool = new CBlockPool;
    return *pool;
}

}  // namespace

CReceivedData& CReceivedData::operator=(CReceivedData&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = other.data_;
        pooled_ = other.pooled_;
        other.data_ = nullptr;
    }
    return *this;
}

void CReceivedData::Assign(const uint8_t* data, uint32_t length) {
    Reset();
    pooled_ = length >= kPooledFrom && length <= kCapacity;
    data_ = pooled_ ? Pool().Take() : new uint8_t[length];
    std::memcpy(data_, data, length);
}

void CReceivedData::Reserve() {
    Reset();
    pooled_ = true;
    data_ = Pool().Take();
}

void CReceivedData::Fit(uint32_t length) {
    if (!data_ || !pooled_ || length >= kCapacity) return;
    data_[length] = 0;
    if (length >= kPooledFrom) return;
    auto* own = new uint8_t[length + 1];
    std::memcpy(own, data_, length + 1);
    Pool().Give(data_);
    data_ = own;
    pooled_ = false;
}

void CReceivedData::Reset() {
    if (!data_) return;
    if (pooled_)
        Pool().Give(data_);
    else
        delete[] data_;
    data_ = nullptr;
}

}  // namespace plover
