#include "web/event_hub.h"

#include <chrono>

namespace plover::web {

std::string SseEvent(const std::string& name, const std::string& data) {
    return "event: " + name + "\ndata: " + data + "\n\n";
}

uint64_t CEventHub::Connect() {
    std::lock_guard g(lock_);
    uint64_t id = nextId_++;
    clients_[id];
    return id;
}

void CEventHub::Disconnect(uint64_t client) {
    std::lock_guard g(lock_);
    clients_.erase(client);
}

void CEventHub::Publish(const std::string& event) {
    {
        std::lock_guard g(lock_);
        if (closed_) return;
        for (auto& [id, c] : clients_) {
            if (c.resync) continue;  // the coming snapshot holds this already
            if (c.queue.size() >= maxQueue_) {
                c.queue.clear();
                c.resync = true;
                continue;
            }
            c.queue.push_back(event);
        }
    }
    cv_.notify_all();
}

CEventHub::EWait CEventHub::Wait(uint64_t client, std::deque<std::string>& out, int timeoutMs) {
    std::unique_lock g(lock_);
    auto ready = [&] {
        auto it = clients_.find(client);
        return closed_ || it == clients_.end() || it->second.resync || !it->second.queue.empty();
    };
    if (!cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), ready)) return EWait::Timeout;
    auto it = clients_.find(client);
    if (closed_ || it == clients_.end()) return EWait::Closed;
    if (it->second.resync) {
        // The snapshot is taken after this point, so later events follow it in order.
        it->second.resync = false;
        it->second.queue.clear();
        return EWait::Resync;
    }
    out.swap(it->second.queue);
    it->second.queue.clear();
    return EWait::Events;
}

void CEventHub::Close() {
    {
        std::lock_guard g(lock_);
        closed_ = true;
    }
    cv_.notify_all();
}

size_t CEventHub::ClientCount() const {
    std::lock_guard g(lock_);
    return clients_.size();
}

}  // namespace plover::web
