#pragma once
// CSocketEngine: the one engine that owns every TCP connection of the process.
//
// Each socket's event sits in this engine's event table with the socket as cookie. When it fires,
// the engine processes the socket, in this order:
//  1. back-pressure: a socket with 10 or more notifications that its owner has not consumed yet
//     is left alone for now (1 ms pause, event left signalled);
//  2. the network events are read (OnError code 0 when that fails);
//  3. connect (OnConnect with its success) and accept (OnAccept);
//  4. waiting data is read (at most 409599 bytes a read), limited by the read throttle for a
//     throttled socket past its first read, unless the batch carries the close: into a pooled
//     block that a sink taking blocks (IReceiveHandover, the redirector) gets as it is, or into
//     the shared 409600-byte buffer for any other sink (OnReceive; OnError code 1 when the
//     receive fails);
//  5. OnReady while the socket is connected;
//  6. the close (OnClose), reported only after every received byte has been delivered.
// A 200 ms timer closes kept connections that idled too long, rolls the throttle window and kicks every socket, so data the throttle left
// unread is read in a later window; between those ticks an idle engine sleeps.
//
// Sockets are added and removed with the operations 201 and 202 (posted with waiting), host-name
// answers arrive with 203. CreateSocket, CreateListenSocket, AddSocket, RemoveSocket and the
// sockets' Close and Accept wait for this engine.
#include <functional>
#include <mutex>

#include "engine/engine.h"
#include "net/connection_pool.h"
#include "net/socket_interfaces.h"
#include "net/transfer_window.h"

namespace plover {

class CSocketEngine final : public CEngine, public ISocketEngine {
public:
    // Bytes per second that throttled sockets may read together.
    using QuotaSource = std::function<uint32_t()>;

    // Without a quota source the engine reads dwTransferQuota of the current traffic mode.
    explicit CSocketEngine(QuotaSource quota = {});

    // IUnknown: answers IUnknown, IEngine and ISocketEngine, and IConnectionPool with the pool of
    // kept connections (connection_pool.h) that this engine sweeps and closes on stop.
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return CEngine::AddRef(); }
    uint32_t Release() override { return CEngine::Release(); }
    // ISocketEngine
    bool CreateListenSocket(ISockAdviseSink* sink, uint16_t* port, ISocket** out) override;
    bool CreateSocket(ISockAdviseSink* sink, const SOCKADDR_IN* remote, ISocket** out, bool throttled) override;
    void RemoveSocket(ISocket* socket) override;
    void AddSocket(ISocket* socket) override;
    bool GetSocket(uint32_t index, ISocket** out) override;

    // The shared receive buffer's size; each read leaves room for a zero byte behind the data.
    static constexpr uint32_t kReceiveBufferSize = 409600;
    // Notifications a socket may have outstanding before the engine stops reading it.
    static constexpr int32_t kMaxPendingMessages = 10;

private:
    ~CSocketEngine() override;

    void OnStart() override;
    void OnStop() override;
    void OnEvent(uintptr_t cookie) override;
    void OnTimer(TIMER_INFO* timer) override;
    uint32_t OnRecord(uint32_t code, CEngineRecord& record, uintptr_t value) override;

    void ProcessSocket(ISocket* socket);
    void Receive(ISocket* socket, ISockAdviseSink* sink, bool closeInBatch);
    void DoAddSocket(ISocket* socket);
    void DoRemoveSocket(ISocket* socket);
    ptrdiff_t FindSocket(ISocket* socket) const;

    CInterfaceArray<ISocket> sockets_;  // changed on the engine thread only, under listLock_
    mutable std::mutex listLock_;       // lets GetSocket read the list from other threads
    STransferWindow window_;
    TIMER_INFO* timer_ = nullptr;
    QuotaSource quota_;
    RefPtr<CConnectionPool> pool_ = RefPtr<CConnectionPool>::Adopt(new CConnectionPool);
};

}  // namespace plover
