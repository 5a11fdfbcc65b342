#include "net/socket_engine.h"

#include "net/br_socket.h"
#include "net/host_lookup.h"
#include "net/openssl_library.h"
#include "net/received_data.h"
#include "net/traffic_quota.h"
#include "platform/tick.h"

namespace plover {
namespace {

// The shared receive buffer, used on the socket engine thread only.
uint8_t g_receiveBuffer[CSocketEngine::kReceiveBufferSize];

// A timer ticks at the first 100 ms step at which strictly more than its interval has passed:
// 199 gives a tick every 200 ms, so that throttle windows follow each other without a gap.
constexpr uint32_t kThrottleTimerMs = STransferWindow::kWindowMs - 1;

ISocket* ToSocket(uintptr_t v) { return reinterpret_cast<ISocket*>(v); }

}  // namespace

CSocketEngine::CSocketEngine(QuotaSource quota)
    : window_(GetTickCount()), quota_(quota ? std::move(quota) : QuotaSource(CurrentTransferQuota)) {}

CSocketEngine::~CSocketEngine() {
    std::lock_guard guard(listLock_);
    sockets_.RemoveAll();
}

HRESULT CSocketEngine::QueryInterface(const GUID& iid, void** out) {
    if (out && iid == IID_ISocketEngine) {
        *out = static_cast<ISocketEngine*>(this);
        AddRef();
        return S_OK;
    }
    // The kept connections of this engine's sockets: an object of its own, living as long as its
    // last user.
    if (out && iid == IID_IConnectionPool) return pool_->QueryInterface(iid, out);
    return CEngine::QueryInterface(iid, out);
}

bool CSocketEngine::CreateListenSocket(ISockAdviseSink* sink, uint16_t* port, ISocket** out) {
    if (!out) return false;
    *out = nullptr;
    CBRSocket* socket = CBRSocket::CreateListening(this, port);
    if (!socket) return false;
    socket->SetSink(sink);
    *out = socket;  // the creator's reference
    AddSocket(socket);
    return true;
}

bool CSocketEngine::CreateSocket(ISockAdviseSink* sink, const SOCKADDR_IN* remote, ISocket** out, bool throttled) {
    if (!sink || !out || !remote) return false;
    *out = nullptr;
    CBRSocket* socket = CBRSocket::CreateConnecting(this, *remote);
    if (!socket) return false;
    socket->SetThrottled(throttled);
    socket->SetSink(sink);
    *out = socket;  // the creator's reference
    AddSocket(socket);
    return true;
}

// Both operations carry a reference to the socket, dropped with the record once the operation
// has run or when the engine has already ended.
void CSocketEngine::AddSocket(ISocket* socket) {
    if (socket) PostOwned(this, SOP_ADD_SOCKET, std::make_unique<RefPtr<ISocket>>(socket), 0, true);
}

void CSocketEngine::RemoveSocket(ISocket* socket) {
    if (socket) PostOwned(this, SOP_REMOVE_SOCKET, std::make_unique<RefPtr<ISocket>>(socket), 0, true);
}

bool CSocketEngine::GetSocket(uint32_t index, ISocket** out) {
    if (!out) return false;
    std::lock_guard guard(listLock_);
    if (index >= sockets_.GetSize() || !sockets_[index]) return false;
    *out = sockets_[index];
    (*out)->AddRef();
    return true;
}

ptrdiff_t CSocketEngine::FindSocket(ISocket* socket) const {
    for (size_t i = 0; i < sockets_.GetSize(); ++i)
        if (sockets_[i] == socket) return ptrdiff_t(i);
    return -1;
}

void CSocketEngine::DoAddSocket(ISocket* socket) {
    if (FindSocket(socket) < 0) {
        std::lock_guard guard(listLock_);
        sockets_.Add(socket);
    }
}

void CSocketEngine::DoRemoveSocket(ISocket* socket) {
    ptrdiff_t at = FindSocket(socket);
    if (at >= 0) {
        if (!socket->IsRegistrationPending()) RemoveEvent(socket->GetEvent(), true);
        std::lock_guard guard(listLock_);
        sockets_.RemoveAt(size_t(at));
    }
}

uint32_t CSocketEngine::OnRecord(uint32_t code, CEngineRecord& record, uintptr_t) {
    if (code == SOP_HOST_LOOKUP) {
        if (SHostLookup* lookup = record.Get<SHostLookup>()) AnswerHostLookup(*lookup);
        return 1;
    }
    RefPtr<ISocket>* socket = record.Get<RefPtr<ISocket>>();
    if (!socket || !*socket) return 0;
    switch (code) {
        case SOP_ADD_SOCKET: DoAddSocket(socket->Get()); return 1;
        case SOP_REMOVE_SOCKET: DoRemoveSocket(socket->Get()); return 1;
        default: return 0;
    }
}

void CSocketEngine::OnStart() { timer_ = StartTimer(kThrottleTimerMs); }

void CSocketEngine::OnStop() {
    if (timer_) StopTimer(timer_);
    timer_ = nullptr;
    pool_->CloseAll();
    // No socket is processed after this: OpenSSL's state of this thread (the random generators of
    // the TLS handshakes) is freed now rather than at the thread's exit, which may come after the
    // process has ended.
    StopOpenSslOnThisThread();
}

// Rolls a used-up window; while it is still used up nothing happens, otherwise every socket is
// kicked so that data left unread by the throttle is read now.
void CSocketEngine::OnTimer(TIMER_INFO*) {
    pool_->Sweep();
    if (window_.bExhausted) {
        window_.Roll(GetTickCount());
        if (window_.bExhausted) return;
    }
    for (ISocket* socket : sockets_)
        if (socket) socket->Kick();
}

void CSocketEngine::OnEvent(uintptr_t cookie) {
    // The cookie is a socket of the list: its event leaves the table before the list lets it go.
    ISocket* socket = ToSocket(cookie);
    if (FindSocket(socket) < 0) return;
    ProcessSocket(socket);
}

void CSocketEngine::ProcessSocket(ISocket* socket) {
    if (socket->GetPendingCount() >= kMaxPendingMessages) {
        SleepMs(1);
        return;
    }
    RefPtr<ISocket> hold(socket);
    RefPtr<ISockAdviseSink> sink;
    if (!socket->GetSink(sink.Put())) return;

    SNetworkEvents events;
    if (!socket->ReadNetworkEvents(&events)) {
        sink->OnError(socket, SOCKERR_NETWORK_EVENTS);
        events = SNetworkEvents{};
    }
    if (events.lNetworkEvents & FD_CONNECT) sink->OnConnect(socket, events.iErrorCode[FD_CONNECT_BIT] == 0);
    if (events.lNetworkEvents & FD_ACCEPT) sink->OnAccept(socket);
    if (socket->HasData()) Receive(socket, sink.Get(), (events.lNetworkEvents & FD_CLOSE) != 0);
    if (socket->IsConnected()) sink->OnReady(socket);
    if (events.lNetworkEvents & FD_CLOSE) sink->OnClose(socket);
}

void CSocketEngine::Receive(ISocket* socket, ISockAdviseSink* sink, bool closeInBatch) {
    uint32_t now = GetTickCount();
    uint32_t limit = ReadLimit(socket->IsThrottled(), socket->IsFirstRead(), closeInBatch, window_, quota_(),
                               uint32_t(CBRSocket::GetLiveCount()), now);
    if (limit == 0) return;
    // An owner on another thread takes the block it is read into, so the bytes are not copied
    // again for the trip; any other sink reads them from the shared buffer during its call.
    auto handover = QueryAs<IReceiveHandover>(sink, IID_IReceiveHandover);
    CReceivedData block;
    uint8_t* buffer = g_receiveBuffer;
    if (handover) {
        block.Reserve();
        buffer = block.writable();
    }
    int32_t n = socket->Recv(buffer, int32_t(limit));
    if (n < 0) {
        sink->OnError(socket, SOCKERR_RECEIVE);
    } else if (n > 0) {
        window_.Consume(uint32_t(n), GetTickCount());
        if (handover) {
            block.Fit(uint32_t(n));
            handover->OnReceiveBlock(socket, block, uint32_t(n));
        } else {
            g_receiveBuffer[n] = 0;
            sink->OnReceive(socket, g_receiveBuffer, uint32_t(n));
        }
    }
}

}  // namespace plover
