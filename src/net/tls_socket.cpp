#include "net/tls_socket.h"

#include <openssl/x509v3.h>

#include "net/openssl_library.h"
#include "net/proxy_tunnel.h"

namespace plover {
namespace {

// Room kept free in the decrypted buffer before each read: one TLS record's plaintext at most.
constexpr size_t kRecordRoom = 16384;

}  // namespace

bool CreateTlsSocket(ISocketEngine* engine, ISockAdviseSink* sink, const SOCKADDR_IN* remote,
                     const STlsTarget& target, ISocket** out, bool throttled, std::string* error) {
    if (!engine || !sink || !remote || !out) return false;
    *out = nullptr;
    SSL_CTX* ctx = AcquireTlsContext(target.options, error);
    if (!ctx) return false;
    auto tls = RefPtr<CTlsSocket>::Adopt(new CTlsSocket(ctx, sink, target));
    if (!tls->Setup(error)) return false;
    RefPtr<ISocket> plain;
    if (!engine->CreateSocket(static_cast<ISockAdviseSink*>(tls.Get()), remote, plain.Put(), throttled) || !plain)
        return false;  // a failed connection, as for a plain socket
    // No notification comes before the owner registers the event, so the plain socket is known
    // to the layer before its first one.
    tls->Attach(plain.Get());
    *out = static_cast<ISocket*>(tls.Detach());
    return true;
}

CTlsSocket::CTlsSocket(SSL_CTX* ctx, ISockAdviseSink* owner, const STlsTarget& target)
    : o_(OpenSslLibrary()), ctx_(ctx), owner_(RefPtr<ISockAdviseSink>(owner)), target_(target) {}

CTlsSocket::~CTlsSocket() {
    if (ssl_) o_->SSL_free(ssl_);  // frees both memory buffers
    o_->SSL_CTX_free(ctx_);
}

bool CTlsSocket::Setup(std::string* error) {
    ssl_ = o_->SSL_new(ctx_);
    incoming_ = o_->BIO_new(o_->BIO_s_mem());
    outgoing_ = o_->BIO_new(o_->BIO_s_mem());
    if (!ssl_ || !incoming_ || !outgoing_) {
        o_->BIO_free(incoming_);
        o_->BIO_free(outgoing_);
        incoming_ = outgoing_ = nullptr;
        if (error) *error = TakeOpenSslErrors("cannot make a TLS session");
        return false;
    }
    o_->BIO_ctrl(incoming_, BIO_C_SET_BUF_MEM_EOF_RETURN, -1, nullptr);  // empty means "more to come", not the end
    o_->SSL_set_bio(ssl_, incoming_, outgoing_);
    o_->SSL_set_connect_state(ssl_);
    const std::string& host = target_.host;
    bool named = !IsIpAddressText(host);
    if (named && !host.empty()) o_->SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host.c_str()));
    if (!target_.options.insecure) {
        X509_VERIFY_PARAM* param = o_->SSL_get0_param(ssl_);
        o_->X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        bool set = named ? o_->SSL_set1_host(ssl_, host.c_str()) == 1 : o_->X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
        if (!set) {
            if (error) *error = TakeOpenSslErrors("cannot check certificates for the host " + host);
            return false;
        }
    }
    return true;
}

HRESULT CTlsSocket::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ISocket)
        *out = static_cast<ISocket*>(this);
    else if (iid == IID_ISockAdviseSink)
        *out = static_cast<ISockAdviseSink*>(this);
    else if (iid == IID_ITlsSession)
        *out = static_cast<ITlsSession*>(this);
    else if (iid == IID_ISocketHandover)
        *out = static_cast<ISocketHandover*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

uint32_t CTlsSocket::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

RefPtr<ISockAdviseSink> CTlsSocket::Owner() {
    std::lock_guard guard(ownerLock_);
    return owner_;
}

void CTlsSocket::SetSink(ISockAdviseSink* sink) {
    RefPtr<ISockAdviseSink> held(sink);
    std::lock_guard guard(ownerLock_);
    std::swap(owner_, held);
}

bool CTlsSocket::GetSink(ISockAdviseSink** out) {
    if (!out) return false;
    RefPtr<ISockAdviseSink> owner = Owner();
    if (!owner) return false;
    *out = owner.Detach();
    return true;
}

bool CTlsSocket::IsConnected() { return plain_ && plain_->IsConnected(); }

bool CTlsSocket::Send(const void* buffer, uint32_t length) {
    if (!buffer && length) return false;
    std::lock_guard guard(lock_);
    if (state_ != EState::Open) return false;
    size_t written = 0;
    if (length && o_->SSL_write_ex(ssl_, buffer, length, &written) != 1) {
        o_->ERR_clear_error();
        return false;
    }
    return Flush();
}

// With the lock held: everything OpenSSL has written goes out on the plain socket, in order.
bool CTlsSocket::Flush() {
    size_t pending = o_->BIO_ctrl_pending(outgoing_);
    if (pending == 0) return true;
    std::string bytes(pending, '\0');
    int n = o_->BIO_read(outgoing_, bytes.data(), int(pending));
    if (n <= 0) return false;
    return plain_->Send(bytes.data(), uint32_t(n));
}

void CTlsSocket::Close() {
    {
        std::lock_guard guard(lock_);
        if (state_ == EState::Open && ssl_) {
            o_->SSL_shutdown(ssl_);  // the close_notify; the server's answer is not waited for
            Flush();
            o_->ERR_clear_error();
        }
        state_ = EState::Closed;
    }
    if (plain_) plain_->Close();
    RefPtr<ISockAdviseSink> old;
    std::lock_guard guard(ownerLock_);
    std::swap(old, owner_);
}

uint32_t CTlsSocket::Fail(uint32_t code, std::string reason) {
    state_ = EState::Failed;
    failure_ = std::move(reason);
    o_->ERR_clear_error();
    return code;
}

uint32_t CTlsSocket::FailHandshake() {
    long verdict = o_->SSL_get_verify_result(ssl_);
    uint32_t code = target_.options.insecure ? SOCKERR_TLS : CertificateErrorCode(verdict);
    Flush();  // the alert that tells the server why
    if (code != SOCKERR_TLS)
        return Fail(code, std::string("certificate verification failed: ") + o_->X509_verify_cert_error_string(verdict));
    return Fail(code, "TLS handshake failed: " + TakeOpenSslErrors("the server did not complete the handshake"));
}

uint32_t CTlsSocket::Advance() {
    if (state_ == EState::Handshake) {
        int r = o_->SSL_do_handshake(ssl_);
        if (r != 1) {
            int e = o_->SSL_get_error(ssl_, r);
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) return FailHandshake();
            return Flush() ? 0 : Fail(SOCKERR_TLS, "TLS handshake failed: the handshake could not be sent");
        }
        state_ = EState::Open;
        session_ = std::string(o_->SSL_get_version(ssl_)) + " " + o_->SSL_CIPHER_get_name(o_->SSL_get_current_cipher(ssl_));
    }
    if (state_ != EState::Open) return 0;
    size_t& used = decryptedLength_;
    for (;;) {
        // The buffer only grows (to about one engine read), so it is not cleared for every read.
        if (decrypted_.size() < used + kRecordRoom) decrypted_.resize(used + kRecordRoom);
        size_t n = 0;
        if (o_->SSL_read_ex(ssl_, decrypted_.data() + used, kRecordRoom, &n) == 1) {
            used += n;
            continue;
        }
        int e = o_->SSL_get_error(ssl_, 0);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_ZERO_RETURN) break;
        if (e == SSL_ERROR_WANT_WRITE) {
            Flush();
            continue;
        }
        return Fail(SOCKERR_TLS, "TLS record error: " + TakeOpenSslErrors("the stream could not be decrypted"));
    }
    Flush();  // a key update's answer, if the server asked for one
    return 0;
}

uint32_t CTlsSocket::ReadTunnel(const uint8_t* data, uint32_t length) {
    tunnelReply_.append(reinterpret_cast<const char*>(data), length);
    STunnelReply reply = ReadTunnelReply(tunnelReply_);
    if (reply.state == STunnelReply::INCOMPLETE) return 0;
    if (reply.state == STunnelReply::REFUSED)
        return Fail(SOCKERR_TUNNEL_REFUSED, "the proxy refused the tunnel: " + reply.statusLine);
    // The tunnel is open: what followed the reply already belongs to the TLS stream.
    o_->BIO_write(incoming_, tunnelReply_.data() + reply.headerLength, int(tunnelReply_.size() - reply.headerLength));
    tunnelReply_.clear();
    state_ = EState::Handshake;
    return Advance();
}

bool CTlsSocket::OnConnect(ISocket*, bool success) {
    RefPtr<ISockAdviseSink> owner = Owner();
    if (owner) owner->OnConnect(this, success);
    if (!success) return true;
    uint32_t error = 0;
    {
        std::lock_guard guard(lock_);
        if (state_ != EState::Connecting) return true;
        if (!target_.tunnelRequest.empty()) {
            state_ = EState::Tunnel;
            if (!plain_->Send(target_.tunnelRequest.data(), uint32_t(target_.tunnelRequest.size())))
                error = Fail(SOCKERR_TLS, "the tunnel request could not be sent");
        } else {
            state_ = EState::Handshake;
            error = Advance();
        }
    }
    if (error && owner) owner->OnError(this, error);
    return true;
}

bool CTlsSocket::OnReceive(ISocket*, const uint8_t* data, uint32_t length) {
    uint32_t error = 0;
    {
        std::lock_guard guard(lock_);
        decryptedLength_ = 0;
        if (state_ == EState::Tunnel) {
            error = ReadTunnel(data, length);
        } else if (state_ == EState::Handshake || state_ == EState::Open) {
            o_->BIO_write(incoming_, data, int(length));
            error = Advance();
        }
    }
    // Only this thread touches the decrypted bytes, so they are handed on outside the lock (the
    // owner may answer with a Send at once).
    RefPtr<ISockAdviseSink> owner = Owner();
    if (!owner) return true;
    if (decryptedLength_) owner->OnReceive(this, decrypted_.data(), uint32_t(decryptedLength_));
    if (error) owner->OnError(this, error);
    return true;
}

bool CTlsSocket::OnReady(ISocket*) {
    bool open;
    {
        std::lock_guard guard(lock_);
        open = state_ == EState::Open;
    }
    RefPtr<ISockAdviseSink> owner = Owner();
    if (open && owner) owner->OnReady(this);
    return true;
}

bool CTlsSocket::OnClose(ISocket*) {
    uint32_t error = 0;
    {
        std::lock_guard guard(lock_);
        if (state_ == EState::Open && !(o_->SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN))
            error = Fail(SOCKERR_TLS_TRUNCATED, "the server closed the connection without the TLS close_notify");
        else if (state_ == EState::Tunnel || state_ == EState::Handshake)
            error = Fail(state_ == EState::Tunnel ? SOCKERR_TUNNEL_REFUSED : SOCKERR_TLS,
                         "the connection closed during the TLS handshake");
        if (state_ != EState::Failed) state_ = EState::Closed;
    }
    RefPtr<ISockAdviseSink> owner = Owner();
    if (!owner) return true;
    if (error) owner->OnError(this, error);
    owner->OnClose(this);
    return true;
}

bool CTlsSocket::OnError(ISocket*, uint32_t code) {
    if (RefPtr<ISockAdviseSink> owner = Owner()) owner->OnError(this, code);
    return true;
}

std::string CTlsSocket::GetSessionText() {
    std::lock_guard guard(lock_);
    return session_;
}

std::string CTlsSocket::GetFailureText() {
    std::lock_guard guard(lock_);
    return failure_;
}

}  // namespace plover
