#pragma once
// CTlsSocket: a TLS client connection over one socket of the socket engine. The owner sees an
// ordinary ISocket: it is told OnConnect when the TCP connection is made, OnReady only once the
// handshake (and, through a proxy, the CONNECT tunnel before it) is done, OnReceive with the
// decrypted bytes and OnClose after the last of them. Send encrypts.
//
// The layer sits between the socket engine and the owner as the plain socket's sink: the engine
// reads the encrypted bytes as for any socket (so the read throttle counts the bytes received, and
// a read re-arms the read notice), they go into OpenSSL through a memory buffer, and what OpenSSL
// writes into its output buffer is sent on the plain socket. Nothing waits on the network here:
// the handshake advances with each arrival. Back-pressure, activity and flags are the plain
// socket's, so the owner's idle time-outs cover the handshake too.
//
// A failed handshake or certificate check is told once through OnError (SOCKERR_TLS,
// SOCKERR_CERT_*, SOCKERR_TUNNEL_REFUSED); nothing is delivered after it. A close without the
// server's close_notify after the handshake is told as SOCKERR_TLS_TRUNCATED just before OnClose.
// Close sends close_notify when the session is up.
#include <openssl/ssl.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "net/socket_interfaces.h"
#include "net/tls_context.h"

namespace plover {

struct SOpenSslLibrary;

inline constexpr GUID IID_ITlsSession = MakeGuid("5B0E3C52-7A41-4F0B-9D7E-2C61A8F4B913");

// What a TLS socket tells about its session.
struct ITlsSession : IUnknown {
    // "TLSv1.3 TLS_AES_256_GCM_SHA384" once the handshake is done; empty before.
    virtual std::string GetSessionText() = 0;
    // Why the connection failed (OpenSSL's reason, the certificate verdict or the proxy's reply).
    virtual std::string GetFailureText() = 0;

protected:
    ~ITlsSession() = default;
};

struct STlsTarget {
    std::string host;           // checked against the certificate; sent as SNI unless an address
    STlsOptions options;
    std::string tunnelRequest;  // not empty: a CONNECT request sent in the clear first (proxy)
};

// A TLS socket connecting to `remote` (the server, or the proxy when the target has a tunnel
// request), its notifications going to sink; the caller calls RegisterEvent as for a plain
// socket. False when the socket cannot be made (a failed connection), or with *error set when the
// TLS side cannot be set up (e.g. the trust anchor file cannot be read).
bool CreateTlsSocket(ISocketEngine* engine, ISockAdviseSink* sink, const SOCKADDR_IN* remote,
                     const STlsTarget& target, ISocket** out, bool throttled, std::string* error);

class CTlsSocket final : public ISocket, public ISockAdviseSink, public ITlsSession, public ISocketHandover {
public:
    // Takes the context's reference (from AcquireTlsContext, so OpenSSL is loaded). Attach gives it
    // the plain socket whose sink it is.
    CTlsSocket(SSL_CTX* ctx, ISockAdviseSink* owner, const STlsTarget& target);
    bool Setup(std::string* error);
    void Attach(ISocket* plain) { plain_ = RefPtr<ISocket>(plain); }

    // IUnknown
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;
    // ISocket: the plain socket's, except for the data path.
    void GetRemoteAddress(SOCKADDR_IN* out) override { plain_->GetRemoteAddress(out); }
    void GetLocalAddressText(std::string& out) override { plain_->GetLocalAddressText(out); }
    bool Accept() override { return false; }
    bool IsStarted() override { return plain_->IsStarted(); }
    void Kick() override { plain_->Kick(); }
    uint32_t GetIdleSeconds() override { return plain_->GetIdleSeconds(); }
    int32_t Recv(void*, int32_t) override { return -1; }  // data arrives through OnReceive only
    bool Send(const void* buffer, uint32_t length) override;
    bool GetSink(ISockAdviseSink** out) override;
    Handle GetEvent() override { return plain_->GetEvent(); }
    bool ReadNetworkEvents(SNetworkEvents* out) override { return plain_->ReadNetworkEvents(out); }
    bool HasData() override { return plain_->HasData(); }
    bool IsConnected() override;
    void Close() override;
    bool IsFirstRead() override { return plain_->IsFirstRead(); }
    void RegisterEvent() override { plain_->RegisterEvent(); }
    bool IsRegistrationPending() override { return plain_->IsRegistrationPending(); }
    int32_t AddPending() override { return plain_->AddPending(); }
    int32_t ReleasePending() override { return plain_->ReleasePending(); }
    int32_t GetPendingCount() override { return plain_->GetPendingCount(); }
    void SetThrottled(bool throttled) override { plain_->SetThrottled(throttled); }
    bool IsThrottled() override { return plain_->IsThrottled(); }
    void SetActive(bool active) override { plain_->SetActive(active); }
    bool IsActive() override { return plain_->IsActive(); }
    // ISockAdviseSink: the plain socket's notifications, on the socket engine thread.
    bool OnConnect(ISocket* socket, bool success) override;
    bool OnAccept(ISocket*) override { return true; }
    bool OnClose(ISocket* socket) override;
    bool OnReady(ISocket* socket) override;
    bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) override;
    bool OnError(ISocket* socket, uint32_t code) override;
    // ISocketHandover: the owner changes, the session stays (a kept connection needs no new handshake).
    void SetSink(ISockAdviseSink* sink) override;
    // ITlsSession
    std::string GetSessionText() override;
    std::string GetFailureText() override;

private:
    enum class EState { Connecting, Tunnel, Handshake, Open, Failed, Closed };

    ~CTlsSocket();
    RefPtr<ISockAdviseSink> Owner();
    // With the lock held: advances the handshake, reads what is decrypted into plain_text_ and
    // sends what OpenSSL wrote. Returns the error code to raise, or 0.
    uint32_t Advance();
    uint32_t ReadTunnel(const uint8_t* data, uint32_t length);
    uint32_t Fail(uint32_t code, std::string reason);
    uint32_t FailHandshake();
    bool Flush();

    RefCount refs_;
    std::mutex lock_;
    const SOpenSslLibrary* o_;  // loaded: the context came from it
    SSL_CTX* ctx_;
    SSL* ssl_ = nullptr;
    BIO* incoming_ = nullptr;  // what arrived from the network, read by OpenSSL (owned by ssl_)
    BIO* outgoing_ = nullptr;  // what OpenSSL wrote, to be sent (owned by ssl_)
    RefPtr<ISocket> plain_;
    std::mutex ownerLock_;
    RefPtr<ISockAdviseSink> owner_;
    STlsTarget target_;
    EState state_ = EState::Connecting;
    std::string tunnelReply_;
    std::vector<uint8_t> decrypted_;  // engine thread only: what one arrival decrypted
    size_t decryptedLength_ = 0;
    std::string failure_;
    std::string session_;
};

}  // namespace plover
