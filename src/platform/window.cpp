#include "platform/window.h"

#include <chrono>

namespace plover {

bool CMessageQueueWindow::PostMessage(uint32_t msg, WPARAM wp, LPARAM lp) {
    // Notified under the lock: the receiver may destroy the window as soon as it has taken the
    // message, so the poster must be done with the condition variable by then.
    std::lock_guard g(lock_);
    queue_.push_back({msg, wp, lp});
    cv_.notify_one();
    return true;
}

std::optional<SWindowMessage> CMessageQueueWindow::GetMessage(int timeoutMs) {
    std::unique_lock g(lock_);
    auto ready = [this] { return !queue_.empty(); };
    if (timeoutMs < 0)
        cv_.wait(g, ready);
    else if (!cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), ready))
        return std::nullopt;
    SWindowMessage m = queue_.front();
    queue_.pop_front();
    return m;
}

size_t CMessageQueueWindow::Pending() const {
    std::lock_guard g(lock_);
    return queue_.size();
}

}  // namespace plover
