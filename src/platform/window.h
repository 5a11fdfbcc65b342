#pragma once
// A "window": any front-end object that accepts posted messages (a number and two pointer-sized
// parameters) from any thread without blocking. Heap parameters belong to the receiver.
// HWND is a plain pointer to one; engines only ever post to it.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

namespace plover {

using WPARAM = uintptr_t;
using LPARAM = uintptr_t;

// The application's private message range starts here.
constexpr uint32_t WM_APP = 0x8000;

class IWindow {
public:
    virtual bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) = 0;

protected:
    ~IWindow() = default;
};
using HWND = IWindow*;

inline bool PostMessage(HWND w, uint32_t msg, WPARAM wp, LPARAM lp) { return w && w->PostMessage(msg, wp, lp); }

struct SWindowMessage {
    uint32_t msg = 0;
    WPARAM wp = 0;
    LPARAM lp = 0;
};

// A window whose messages are taken by one thread's message loop (the command-line front end's
// main thread, a test).
class CMessageQueueWindow : public IWindow {
public:
    bool PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) override;
    // Waits up to timeoutMs (<0: without limit) for the next message.
    std::optional<SWindowMessage> GetMessage(int timeoutMs = -1);
    size_t Pending() const;

private:
    mutable std::mutex lock_;
    std::condition_variable cv_;
    std::deque<SWindowMessage> queue_;
};

}  // namespace plover
