#include "net/br_socket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "net/socket_engine.h"
#include "platform/tick.h"

namespace plover {
namespace {

std::atomic<int32_t> g_liveSockets{0};

// How long a send waits for the peer to take the rest of a buffer that did not fit at once.
constexpr int kSendWaitMs = 10000;

bool WaitWritable(int fd, int timeoutMs) {
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        int r = poll(&p, 1, timeoutMs);
        if (r > 0) return (p.revents & POLLOUT) != 0;
        if (r == 0 || errno != EINTR) return false;
    }
}

// Closes a descriptor that a failed creation leaves behind, keeping errno for nobody.
void Discard(int fd) {
    if (fd >= 0) close(fd);
}

}  // namespace

CBRSocket::CBRSocket(CSocketEngine* engine, int fd, std::unique_ptr<CEventSelect> event)
    : event_(std::move(event)), fd_(fd), lastActivity_(GetTickCount()), engine_(engine) {
    ++g_liveSockets;
}

CBRSocket::~CBRSocket() {
    event_.reset();
    if (fd_ >= 0) close(fd_);
    --g_liveSockets;
}

int32_t CBRSocket::GetLiveCount() { return g_liveSockets; }

CBRSocket* CBRSocket::CreateConnecting(CSocketEngine* engine, const SOCKADDR_IN& remote) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto event = std::make_unique<CEventSelect>();
    if (!event->Create(fd, CEventSelect::Mode::Connecting)) {
        event.reset();
        Discard(fd);
        return nullptr;
    }
    // A request goes out as soon as it is sent, not held back for the previous one's ACK (a TLS
    // handshake and its records are several small writes in a row).
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0 && errno != EINPROGRESS) {
        event.reset();
        Discard(fd);
        return nullptr;
    }
    auto* s = new CBRSocket(engine, fd, std::move(event));
    s->remote_ = remote;
    s->started_ = true;
    return s;
}

CBRSocket* CBRSocket::CreateListening(CSocketEngine* engine, uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    SOCKADDR_IN any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    SOCKADDR_IN bound{};
    socklen_t len = sizeof bound;
    auto event = std::make_unique<CEventSelect>();
    if (bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0 || listen(fd, 1) != 0 ||
        !event->Create(fd, CEventSelect::Mode::Listening) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
        event.reset();
        Discard(fd);
        return nullptr;
    }
    if (port) *port = ntohs(bound.sin_port);
    auto* s = new CBRSocket(engine, fd, std::move(event));
    s->started_ = true;
    return s;
}

HRESULT CBRSocket::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ISocket) {
        *out = static_cast<ISocket*>(this);
        AddRef();
        return S_OK;
    }
    if (iid == IID_ISocketHandover) {
        *out = static_cast<ISocketHandover*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

uint32_t CBRSocket::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

void CBRSocket::SetSink(ISockAdviseSink* sink) {
    RefPtr<ISockAdviseSink> held(sink);
    std::lock_guard guard(sinkLock_);
    std::swap(sink_, held);
}

void CBRSocket::Touch() { lastActivity_ = GetTickCount(); }

void CBRSocket::GetRemoteAddress(SOCKADDR_IN* out) {
    if (out) *out = remote_;
}

void CBRSocket::GetLocalAddressText(std::string& out) {
    out.clear();
    SOCKADDR_IN local{};
    socklen_t len = sizeof local;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0 || local.sin_family != AF_INET) return;
    const auto* b = reinterpret_cast<const uint8_t*>(&local.sin_addr.s_addr);
    char text[32];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", b[0], b[1], b[2], b[3]);
    out = text;
}

// The listening socket is taken out of the engine, replaced by the accepted connection and put
// back; the object, its sink and its references stay the same.
bool CBRSocket::Accept() {
    SOCKADDR_IN peer{};
    socklen_t len = sizeof peer;
    int fd = accept4(fd_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return false;
    engine_->RemoveSocket(this);
    event_.reset();
    close(fd_);
    fd_ = fd;
    remote_ = peer;
    auto event = std::make_unique<CEventSelect>();
    bool made = event->Create(fd_, CEventSelect::Mode::Connected);
    event_ = std::move(event);
    if (!made) return false;
    engine_->AddSocket(this);
    connected_ = true;
    RegisterEvent();
    return true;
}

void CBRSocket::Kick() {
    if (HasData() || connected_) event_->Signal();
}

uint32_t CBRSocket::GetIdleSeconds() { return (GetTickCount() - lastActivity_) / 1000; }

int32_t CBRSocket::Recv(void* buffer, int32_t length) {
    ssize_t n;
    do {
        n = recv(fd_, buffer, size_t(length < 0 ? 0 : length), 0);
    } while (n < 0 && errno == EINTR);
    dataReported_ = false;
    event_->ArmRead();
    if (n == 0) return 0;
    Touch();
    firstRead_ = false;
    return n < 0 ? -1 : int32_t(n);
}

// The whole buffer goes out: when the kernel takes only part of it, the rest waits (bounded)
// until the socket can take more, so a caller is never told "sent" for bytes that were dropped.
bool CBRSocket::Send(const void* buffer, uint32_t length) {
    if (!buffer && length) return false;
    Touch();
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = send(fd_, p + done, length - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += uint32_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            event_->ArmWrite();
            if (!WaitWritable(fd_, kSendWaitMs)) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool CBRSocket::GetSink(ISockAdviseSink** out) {
    if (!out) return false;
    std::lock_guard guard(sinkLock_);
    if (!sink_) return false;
    *out = RefPtr<ISockAdviseSink>(sink_).Detach();
    return true;
}

bool CBRSocket::ReadNetworkEvents(SNetworkEvents* out) {
    if (!out) return false;
    if (!event_->Read(out)) return false;
    dataReported_ = (out->lNetworkEvents & FD_READ) != 0;
    if ((out->lNetworkEvents & FD_CONNECT) && out->iErrorCode[FD_CONNECT_BIT] == 0) connected_ = true;
    if (out->lNetworkEvents & FD_CLOSE) connected_ = false;
    return true;
}

bool CBRSocket::HasData() {
    if (dataReported_) return true;
    int n = 0;
    return ioctl(fd_, FIONREAD, &n) == 0 && n > 0;
}

void CBRSocket::Close() {
    engine_->RemoveSocket(this);
    RefPtr<ISockAdviseSink> old;
    {
        std::lock_guard guard(sinkLock_);
        std::swap(old, sink_);
    }
}

void CBRSocket::RegisterEvent() {
    registrationPending_ = false;
    engine_->AddEvent(event_->GetHandle(), reinterpret_cast<uintptr_t>(static_cast<ISocket*>(this)));
}

}  // namespace plover
