#pragma once
// CSocketRedirector carries a socket's notifications from the socket engine's thread to the thread
// of the engine that owns the socket. The owner (a download worker) hands it to the socket engine
// as the socket's sink; every call becomes an SSocketMessage posted to the target engine, which
// calls the owner's real sink on its own thread, in the order the socket engine made them.
// Received data travels in a block: the socket engine hands over the one it read into
// (IReceiveHandover), and a block given by pointer (OnReceive) is copied for the trip. The byte
// count is reported to the downloader as traffic (once a downloader is registered with the engine
// manager).
//
// End cuts the redirector off: it forgets the target and the real sink under the same lock that
// every notification holds, so after End returns no further message for the owner is made.
// Lock order: the redirector's lock, then the downloader's sink lock (traffic report).
#include "engine/containers.h"
#include "engine/engine.h"
#include "net/received_data.h"
#include "net/socket_interfaces.h"

namespace plover {

class CSocketRedirector final : public ISockAdviseSink, public IReceiveHandover, public IEndable {
public:
    // Takes a reference to both; the object starts with a count of 1 (the creator's).
    CSocketRedirector(ISockAdviseSink* realSink, IEngine* target);

    // IUnknown: answers IUnknown, ISockAdviseSink, IReceiveHandover and IEndable.
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;
    // ISockAdviseSink: each call posts one message; all return true.
    bool OnConnect(ISocket* socket, bool success) override;
    bool OnAccept(ISocket* socket) override;
    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;
    bool OnError(ISocket* socket, uint32_t code) override;
    // IReceiveHandover: the block goes with the message as it is.
    void OnReceiveBlock(ISocket* socket, CReceivedData& data, uint32_t length) override;
    // IEndable
    void End() override;

private:
    ~CSocketRedirector();
    // data: the received bytes of SMK_RECEIVE, moved into the message.
    void Redirect(uint32_t kind, ISocket* socket, uint32_t value, CReceivedData* data, uint32_t length);
    void ReportTraffic(uint32_t length);

    RefCount refs_;
    CCriticalSection lock_;
    RefPtr<IEngine> target_;
    RefPtr<ISockAdviseSink> sink_;
};

}  // namespace plover
