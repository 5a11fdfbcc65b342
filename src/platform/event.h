#pragma once
// A manual-reset event on an eventfd: Set makes the descriptor readable until Reset drains it,
// so poll() can wait on it beside sockets and other handles. The descriptor is the "handle".
#include <cstdint>

namespace plover {

using Handle = int;  // a pollable file descriptor; -1 for none
constexpr Handle kNoHandle = -1;

class CEvent {
public:
    explicit CEvent(bool signalled = false);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    bool IsValid() const { return fd_ >= 0; }
    Handle GetHandle() const { return fd_; }
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits until signalled; timeoutMs < 0 waits without limit. True if signalled.
    bool Wait(int timeoutMs = -1) const;

private:
    int fd_ = -1;
};

// Zero-timeout test of any pollable handle.
bool IsHandleSignalled(Handle h);

}  // namespace plover
