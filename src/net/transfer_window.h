#pragma once
// The read throttle of the socket engine: all throttled reads of the process together take at
// most one fifth of the per-second quota in each 200 ms window, and one read takes at most an
// equal share of that fifth among the sockets that exist. The window is rolled lazily by both
// operations; the socket engine's 200 ms timer rolls it too and kicks the sockets that the
// throttle left unread. Times are wrapping 32-bit tick counts, passed in so that tests can
// drive the clock.
#include <cstdint>

namespace plover {

struct STransferWindow {
    static constexpr uint32_t kWindowMs = 200;
    static constexpr uint32_t kNone = 0xFFFFFFFF;  // the window is used up: read nothing now

    uint32_t dwStart;         // tick count at which the window began
    uint32_t dwUsed = 0;      // bytes read in the window
    uint32_t bExhausted = 0;  // set once the share has been used up

    explicit STransferWindow(uint32_t now) : dwStart(now) {}

    // Starts a new window when at least 200 ms have passed since the start of this one.
    void Roll(uint32_t now);
    // Counts n bytes read, then rolls.
    void Consume(uint32_t n, uint32_t now);
    // The most the next throttled read may take: kNone when the window is used up; otherwise the
    // smaller of (quota/5)/sockets and what is left of quota/5. sockets counts every socket object
    // of the process (0 is treated as 1).
    uint32_t Allowance(uint32_t quotaPerSecond, uint32_t sockets, uint32_t now);
};

// The most one receive on the shared buffer may take (the buffer keeps a zero byte behind the data).
constexpr uint32_t kMaxSocketRead = 409599;

// How many bytes the socket engine may read from one socket at one event: 0 means no read now.
// The throttle applies only to a throttled socket past its first read, and not to a read in a
// batch that carries the close event.
uint32_t ReadLimit(bool throttled, bool firstRead, bool closeInBatch, STransferWindow& window,
                   uint32_t quotaPerSecond, uint32_t sockets, uint32_t now);

}  // namespace plover
