#include "net/socket_message.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "net/transfer_window.h"

namespace plover {
namespace {

// Reads larger than this take a pooled block; smaller ones a plain allocation.
constexpr uint32_t kPooledFrom = 16 * 1024;
constexpr size_t kBlockSize = kMaxSocketRead + 1;
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
        return new uint8_t[kBlockSize];
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

// Never destroyed: messages may still be freed while the process ends.
CBlockPool& Pool() {
    static CBlockPool* pool = new CBlockPool;
    return *pool;
}

}  // namespace

void CReceivedData::Assign(const uint8_t* data, uint32_t length) {
    Reset();
    pooled_ = length >= kPooledFrom && length <= kBlockSize;
    data_ = pooled_ ? Pool().Take() : new uint8_t[length];
    std::memcpy(data_, data, length);
}

void CReceivedData::Reset() {
    if (!data_) return;
    if (pooled_)
        Pool().Give(data_);
    else
        delete[] data_;
    data_ = nullptr;
}

SSocketMessage::SSocketMessage(uint32_t k, ISockAdviseSink* s, ISocket* sock) : kind(k), sink(s), socket(sock) {
    if (socket) socket->AddPending();
}

SSocketMessage::~SSocketMessage() {
    if (socket) socket->ReleasePending();
}

void SSocketMessage::Deliver() {
    if (!sink || !socket) return;
    ISocket* s = socket.Get();
    switch (kind) {
        case SMK_CONNECT: sink->OnConnect(s, (value1 & 0xFF) != 0); break;
        case SMK_ACCEPT: sink->OnAccept(s); break;
        case SMK_CLOSE: sink->OnClose(s); break;
        case SMK_READY: sink->OnReady(s); break;
        case SMK_RECEIVE: sink->OnReceive(s, data.get(), length); break;
        case SMK_ERROR: sink->OnError(s, value1); break;
        default: break;
    }
}

}  // namespace plover
