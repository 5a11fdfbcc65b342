#pragma once
// CReceivedData: one received block on its way from the socket engine to the thread of the
// socket's owner. A large block lives in one of a small pool of full-size buffers that are reused,
// so that a fast download does not fault in fresh pages for every block; a small one has an
// allocation of its own size, so that a pooled buffer is never held for a few bytes.
//
// The socket engine can read straight into a block (Reserve, then Fit with the count read) and
// hand it to an owner that takes blocks (IReceiveHandover): the bytes then reach the owner's
// thread without being copied on the way. Other owners get a copy (Assign).
#include <cstdint>

#include "platform/com.h"

namespace plover {

class CReceivedData {
public:
    // What a reserved block holds: the largest read and a zero byte behind it.
    static constexpr uint32_t kCapacity = 409600;

    CReceivedData() = default;
    ~CReceivedData() { Reset(); }
    CReceivedData(CReceivedData&& other) noexcept : data_(other.data_), pooled_(other.pooled_) {
        other.data_ = nullptr;
    }
    CReceivedData& operator=(CReceivedData&& other) noexcept;
    CReceivedData(const CReceivedData&) = delete;
    CReceivedData& operator=(const CReceivedData&) = delete;

    // A copy of `length` bytes.
    void Assign(const uint8_t* data, uint32_t length);
    // A full-size block to read into (kCapacity bytes at get()).
    void Reserve();
    // The read put `length` bytes into the reserved block: a zero byte goes behind them, and a
    // small count moves to an allocation of its own so the pooled block goes back at once.
    void Fit(uint32_t length);
    void Reset();
    const uint8_t* get() const { return data_; }
    uint8_t* writable() { return data_; }

private:
    uint8_t* data_ = nullptr;
    bool pooled_ = false;
};

struct ISocket;

inline constexpr GUID IID_IReceiveHandover = MakeGuid("5B2D8E14-7A9C-4F30-B6E1-2C8D4A7F9E03");

// A socket sink that takes received blocks over instead of reading them during the call (the
// socket redirector, which carries them to another thread).
struct IReceiveHandover : IUnknown {
    // `data` holds `length` received bytes; the callee may move it away.
    virtual void OnReceiveBlock(ISocket* socket, CReceivedData& data, uint32_t length) = 0;

protected:
    ~IReceiveHandover() = default;
};

}  // namespace plover
