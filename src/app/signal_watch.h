#pragma once
// Turns SIGINT and SIGTERM into a posted window message, so that a long-running command takes
// the orderly way out (engines stopped in order, everything saved) instead of dying mid-write.
// Start blocks both signals in the calling thread, which every thread started afterwards
// inherits; it must therefore run on the main thread before any engine or timer thread exists.
// A watcher thread reads them from a signalfd and posts the message once per signal.
#include <signal.h>

#include <cstdint>
#include <thread>

#include "platform/event.h"
#include "platform/window.h"

namespace plover {

class CSignalWatcher {
public:
    CSignalWatcher() = default;
    ~CSignalWatcher() { Stop(); }
    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // Posts msg (wp = the signal number) to window on each SIGINT or SIGTERM. False if the
    // signals could not be redirected (they then keep their default action).
    bool Start(HWND window, uint32_t msg);
    // Ends the watcher; signals that arrived and were not read are dropped, then the old signal
    // mask of the starting thread is restored (Stop must run on that thread).
    void Stop();
    bool IsRunning() const { return thread_.joinable(); }

private:
    void Watch(HWND window, uint32_t msg);

    std::thread thread_;
    CEvent quit_;
    int signalFd_ = -1;
    bool restoreMask_ = false;
    sigset_t oldMask_{};  // the starting thread's mask
};

}  // namespace plover
