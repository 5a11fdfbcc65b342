#pragma once
// Kept connections: a worker whose response ended cleanly (by its length or its last chunk, the
// server did not ask to close, nothing more arrived) parks its connection here, plain or TLS with
// its session; the next worker to the same place takes it instead of connecting and shaking hands.
//
// The place is a key the worker builds (scheme, host, port, the address connected to and whatever
// else must match, such as the proxy and the TLS trust options). A parked connection is closed
//   - when it has been idle longer than the idle limit,
//   - when its place holds the most the limit allows and a newer one is parked (the oldest goes),
//     or the pool as a whole is full,
//   - when the server closes it or sends anything while it is parked (bytes nobody asked for are
//     never read as the next response),
//   - when the pool stops (the socket engine's stop).
// While parked the pool is the connection's sink. Take hands it to the new owner's sink; a
// notification the socket engine was making at that very moment is passed on to the new sink.
//
// Threads: Park and Take run on the workers' thread, the notifications and Sweep on the socket
// engine's; everything is under one lock, and connections are closed outside it (Close waits for
// the socket engine, which runs it directly on its own thread).
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/containers.h"
#include "net/socket_interfaces.h"

namespace plover {

inline constexpr GUID IID_IConnectionPool = MakeGuid("9A4E2F61-3B7C-4D18-8E5A-C1F0D2B6A7E4");

struct IConnectionPool : IUnknown {
    // Hands a connection to the pool; false (the caller closes it) when keeping is off or the
    // connection cannot change owners or is not open.
    virtual bool Park(const std::string& key, ISocket* socket) = 0;
    // The most recently parked open connection of that place, its notifications now going to
    // sink; false when there is none.
    virtual bool Take(const std::string& key, ISockAdviseSink* sink, ISocket** out) = 0;
    // Connections parked for that place now.
    virtual uint32_t ParkedCount(const std::string& key) = 0;
    // The connection is not fit to be used again (its last owner saw bytes after the end): closed
    // at the next sweep if it is still parked.
    virtual void Discard(ISocket* socket) = 0;

protected:
    ~IConnectionPool() = default;
};

struct SPoolLimits {
    uint32_t idleMs = 15000;  // a connection parked longer is closed; 0: nothing is kept
    uint32_t perPlace = 15;   // connections kept for one place at most
};

// The limits in force: "dwKeepAliveIdle" seconds and "dwKeepAlivePerServer" (0: as many as the
// traffic mode lets run at once, its downloads times its sections per download).
SPoolLimits CurrentPoolLimits();

class CConnectionPool final : public IConnectionPool, public ISockAdviseSink {
public:
    // Connections kept for all places together at most, so parked ones never crowd out the
    // socket engine's places for new connections.
    static constexpr size_t kMaxParked = 20;

    using LimitsSource = std::function<SPoolLimits()>;
    using Clock = std::function<uint32_t()>;
    explicit CConnectionPool(LimitsSource limits = {}, Clock clock = {});

    // IUnknown: answers IUnknown, IConnectionPool and ISockAdviseSink.
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;
    // IConnectionPool
    bool Park(const std::string& key, ISocket* socket) override;
    bool Take(const std::string& key, ISockAdviseSink* sink, ISocket** out) override;
    uint32_t ParkedCount(const std::string& key) override;
    void Discard(ISocket* socket) override;
    // ISockAdviseSink: a parked connection's notifications (on the socket engine thread).
    bool OnConnect(ISocket*, bool) override { return true; }
    bool OnAccept(ISocket*) override { return true; }
    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;
    bool OnError(ISocket* socket, uint32_t code) override;

    // Closes the connections that idled too long or were found dead (the socket engine's timer).
    void Sweep();
    // Closes every parked connection.
    void CloseAll();
    uint32_t TotalParked();

private:
    struct SEntry {
        std::string key;
        RefPtr<ISocket> socket;
        uint32_t parkedAt = 0;
        bool dead = false;  // closed by the server or sent something: closed at the next sweep
    };
    ~CConnectionPool() = default;
    // With the lock held: the entry of a parked socket, or null.
    SEntry* Find(ISocket* socket);
    // A notification for a socket that is no longer parked goes to its owner now.
    RefPtr<ISockAdviseSink> OwnerIfTaken(ISocket* socket);
    static void CloseEach(std::vector<RefPtr<ISocket>>& sockets);

    RefCount refs_;
    std::mutex lock_;
    std::vector<SEntry> entries_;  // oldest first
    LimitsSource limits_;
    Clock clock_;
};

}  // namespace plover
