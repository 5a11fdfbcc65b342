#pragma once
// The event stream's fan-out: one bounded queue per connected browser tab. Publishing never
// waits for a client: when a queue is full its oldest events are dropped and the client is marked
// for a resynchronisation, so its stream next sends a fresh snapshot instead of what it missed.
// A new client starts marked, so every (re)connect begins with a snapshot.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace plover::web {

// One Server-Sent Event: "event: NAME\ndata: DATA\n\n" (data must be one line, as JSON dumps are).
std::string SseEvent(const std::string& name, const std::string& data);

class CEventHub {
public:
    explicit CEventHub(size_t maxQueue = 2000) : maxQueue_(maxQueue) {}

    enum class EWait { Events, Resync, Timeout, Closed };

    uint64_t Connect();
    void Disconnect(uint64_t client);
    void Publish(const std::string& event);
    // Waits up to timeoutMs for the client's events and moves them into out. Resync: the client
    // must get a snapshot (its queue was emptied). Closed: the hub is shutting down.
    EWait Wait(uint64_t client, std::deque<std::string>& out, int timeoutMs);
    // Wakes every waiting client with Closed, now and from now on.
    void Close();
    size_t ClientCount() const;

private:
    struct SClient {
        std::deque<std::string> queue;
        bool resync = true;
    };
    const size_t maxQueue_;
    mutable std::mutex lock_;
    std::condition_variable cv_;
    std::map<uint64_t, SClient> clients_;
    uint64_t nextId_ = 1;
    bool closed_ = false;
};

}  // namespace plover::web
