#pragma once
// Helpers of the socket tests: engines that run and stop cleanly, a sink that records what it
// hears (and checks a patterned byte stream as it arrives), and plain loopback peers.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_end_watch.h"
#include "engine/engine_mgr.h"
#include "net/socket_interfaces.h"

namespace plover::test {

// Waits (generously) until pred() holds; false if it never did.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000);

// An engine that the test can hold inside an operation (so that posted messages queue up).
class CTargetEngine final : public CEngine {
public:
    static constexpr uint32_t OP_HOLD = 5000;
    static constexpr uint32_t OP_SYNC = 5001;
    void Hold() {
        Post(OP_HOLD, 0, 0, false, false);
        held_.Wait();
    }
    void Let() { let_.Set(); }
    void Sync() { Post(OP_SYNC, 0, 0, true, false); }

protected:
    uint32_t OnOperation(uint32_t code, uintptr_t, uintptr_t) override {
        if (code == OP_HOLD) {
            held_.Set();
            let_.Wait();
        }
        return 1;
    }

private:
    CEvent held_, let_;
};

// Starts an engine and, at the end of the test, stops it and waits until its thread has ended.
template <class E>
class CRunning {
public:
    explicit CRunning(E* engine) : engine_(engine) {
        engine_->SetProgress(&watch_);
        engine_->Start();
    }
    ~CRunning() { Stop(); }
    void Stop() {
        if (!engine_) return;
        engine_->Stop();
        watch_.ended.Wait();
        engine_->Release();
        engine_ = nullptr;
    }
    E* operator->() const { return engine_; }
    E* Get() const { return engine_; }

private:
    E* engine_;
    CEngineEndWatch watch_;
};

// A sink that records every call as a line ("connect 1", "receive", "ready", "close", ...), and
// the received bytes; with a pattern it checks the bytes against it instead of keeping them.
class CRecordingSink final : public ISockAdviseSink {
public:
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return uint32_t(++refs_); }
    uint32_t Release() override { return uint32_t(--refs_); }  // lives on the test's stack

    bool OnConnect(ISocket* socket, bool success) override;
    bool OnAccept(ISocket* socket) override;
    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;
    bool OnError(ISocket* socket, uint32_t code) override;

    std::vector<std::string> Lines() const;
    bool Has(const std::string& line) const;
    size_t Count(const std::string& line) const;
    std::string Data() const;
    uint64_t Received() const { return received_; }
    std::vector<uint32_t> ReadSizes() const;

    bool checkPattern = false;        // compare with PatternByte instead of keeping the data
    std::atomic<bool> patternBroken{false};
    uint64_t receivedAtClose = 0;
    std::thread::id expectedThread{};  // when set, every call must come on this thread
    std::atomic<bool> wrongThread{false};
    std::function<void(ISocket*)> onAccept;  // called from OnAccept

private:
    void Add(ISocket* socket, const std::string& line);

    std::atomic<int> refs_{1};
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    std::string data_;
    std::vector<uint32_t> sizes_;
    std::atomic<uint64_t> received_{0};
};

// The byte at offset i of the test stream: not periodic over short distances, so a lost, doubled
// or reordered block shows.
inline uint8_t PatternByte(uint64_t i) { return uint8_t((i * 131) ^ (i >> 9) ^ (i >> 17)); }

// A plain listening socket on 127.0.0.1 with an ephemeral port (host order in *port).
int ListenLoopback(uint16_t* port);
// A port on 127.0.0.1 where nothing listens (taken and released); the one of testutil/servers.h.
uint16_t FreeLoopbackPort();
SOCKADDR_IN LoopbackAddress(uint16_t port);
// Accepts one connection on `listener` (blocking), writes `total` bytes of the pattern (or
// `text`) and closes; runs on a thread of its own.
std::thread ServeOnce(int listener, uint64_t total, std::string text = {});

}  // namespace plover::test
