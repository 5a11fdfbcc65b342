#pragma once
// Posts a message to a window every period, and at once when nudged, until destroyed; the
// commands' progress displays run on it. Destroying it returns at once, not after the rest of a
// period, so a command that has finished never waits for its next tick.
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/event.h"
#include "platform/window.h"

namespace plover::cli {

class CWindowTicker {
public:
    CWindowTicker(HWND window, uint32_t msg, uint32_t periodMs)
        : window_(window), msg_(msg), periodMs_(periodMs), thread_([this] { Loop(); }) {}
    ~CWindowTicker() {
        stop_ = true;
        wake_.Set();
        thread_.join();
    }
    CWindowTicker(const CWindowTicker&) = delete;
    CWindowTicker& operator=(const CWindowTicker&) = delete;

    // While held (a question is on the terminal) no tick is posted.
    void Hold(bool held) { held_ = held; }
    // A tick now (any thread); several requests before it is taken make one tick.
    void Nudge() {
        if (!nudged_.exchange(true)) wake_.Set();
    }

private:
    void Loop() {
        while (!stop_.load()) {
            nudged_ = false;
            if (!held_.load()) PostMessage(window_, msg_, 0, 0);
            wake_.Wait(int(periodMs_));
            wake_.Reset();
        }
    }

    HWND window_;
    uint32_t msg_;
    uint32_t periodMs_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> nudged_{false};
    CEvent wake_;
    std::thread thread_;  // last: starts once everything above is ready
};

}  // namespace plover::cli
