#pragma once
// CBRSocket: one IPv4 TCP socket of the socket engine, connecting or listening, non-blocking,
// with its event (event_select.h) that the owner puts into the socket engine's event table with
// RegisterEvent. The socket engine thread processes it when the event fires; Send, Kick and the
// flag accessors may be called from any thread.
//
// Made only through the socket engine (CreateSocket, CreateListenSocket), which holds it in its
// list; a socket that cannot be made is never constructed, so nothing of it stays allocated and
// the live-socket count is unchanged. The process-wide live-socket count covers every socket
// object from construction to destruction.
#include <atomic>
#include <memory>
#include <mutex>

#include "net/event_select.h"
#include "net/socket_interfaces.h"

namespace plover {

class CSocketEngine;

class CBRSocket final : public ISocket, public ISocketHandover {
public:
    // A socket whose connect to `remote` has been started; null when it cannot be made.
    static CBRSocket* CreateConnecting(CSocketEngine* engine, const SOCKADDR_IN& remote);
    // A socket listening on an ephemeral port of all local addresses (port in host order);
    // null when it cannot be made.
    static CBRSocket* CreateListening(CSocketEngine* engine, uint16_t* port);

    // The number of socket objects that exist in the process.
    static int32_t GetLiveCount();

    // Sets the owner's sink, taking a reference (ISocketHandover).
    void SetSink(ISockAdviseSink* sink) override;

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;
    // ISocket
    void GetRemoteAddress(SOCKADDR_IN* out) override;
    void GetLocalAddressText(std::string& out) override;
    bool Accept() override;
    bool IsStarted() override { return started_; }
    void Kick() override;
    uint32_t GetIdleSeconds() override;
    int32_t Recv(void* buffer, int32_t length) override;
    bool Send(const void* buffer, uint32_t length) override;
    bool GetSink(ISockAdviseSink** out) override;
    Handle GetEvent() override { return event_->GetHandle(); }
    bool ReadNetworkEvents(SNetworkEvents* out) override;
    bool HasData() override;
    bool IsConnected() override { return connected_; }
    void Close() override;
    bool IsFirstRead() override { return firstRead_; }
    void RegisterEvent() override;
    bool IsRegistrationPending() override { return registrationPending_; }
    int32_t AddPending() override { return ++pending_; }
    int32_t ReleasePending() override { return --pending_; }
    int32_t GetPendingCount() override { return pending_; }
    void SetThrottled(bool throttled) override { throttled_ = throttled; }
    bool IsThrottled() override { return throttled_; }
    void SetActive(bool active) override { active_ = active; }
    bool IsActive() override { return active_; }

private:
    CBRSocket(CSocketEngine* engine, int fd, std::unique_ptr<CEventSelect> event);
    virtual ~CBRSocket();
    void Touch();

    RefCount refs_;
    std::unique_ptr<CEventSelect> event_;
    int fd_ = -1;
    std::atomic<bool> started_{false};
    std::atomic<bool> registrationPending_{true};
    std::atomic<uint32_t> lastActivity_;
    SOCKADDR_IN remote_{};
    std::atomic<bool> firstRead_{true};
    std::atomic<int32_t> pending_{0};
    std::atomic<bool> throttled_{true};
    std::atomic<bool> active_{true};
    std::atomic<bool> connected_{false};
    // The last network events reported data and no receive has come since: HasData needs no
    // question to the kernel (readiness said so, and only the engine thread receives).
    std::atomic<bool> dataReported_{false};
    std::mutex sinkLock_;
    RefPtr<ISockAdviseSink> sink_;
    CSocketEngine* engine_;  // the socket engine outlives its sockets' use; not referenced
};

}  // namespace plover
