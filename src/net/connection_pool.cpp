#include "net/connection_pool.h"

#include <algorithm>

#include "app/settings.h"
#include "platform/tick.h"

namespace plover {

SPoolLimits CurrentPoolLimits() {
    const CRegistrySettings& s = GetSettings();
    SPoolLimits limits;
    limits.idleMs = s.dwKeepAliveIdle * 1000;
    limits.perPlace = s.dwKeepAlivePerServer;
    if (limits.perPlace == 0) {
        // The queue stopped (mode 3) runs priority-10 downloads with the first mode's sections.
        int32_t mode = s.eTrafficMode;
        if (mode < 0 || mode >= kTrafficModes) mode = 0;
        const STrafficModeSettings& m = s.TrafficModes[mode];
        limits.perPlace = std::max<uint32_t>(1, m.dwMaxDownloads) * std::max<uint32_t>(1, m.dwMaxSectPerDownload);
    }
    return limits;
}

CConnectionPool::CConnectionPool(LimitsSource limits, Clock clock)
    : limits_(limits ? std::move(limits) : LimitsSource(CurrentPoolLimits)),
      clock_(clock ? std::move(clock) : Clock([] { return GetTickCount(); })) {}

HRESULT CConnectionPool::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_IConnectionPool)
        *out = static_cast<IConnectionPool*>(this);
    else if (iid == IID_ISockAdviseSink)
        *out = static_cast<ISockAdviseSink*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

uint32_t CConnectionPool::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

void CConnectionPool::CloseEach(std::vector<RefPtr<ISocket>>& sockets) {
    for (auto& socket : sockets)
        if (socket) socket->Close();
    sockets.clear();
}

CConnectionPool::SEntry* CConnectionPool::Find(ISocket* socket) {
    for (SEntry& e : entries_)
        if (e.socket.Get() == socket) return &e;
    return nullptr;
}

bool CConnectionPool::Park(const std::string& key, ISocket* socket) {
    if (!socket || !socket->IsConnected()) return false;
    SPoolLimits limits = limits_();
    if (limits.idleMs == 0 || limits.perPlace == 0) return false;
    auto handover = QueryAs<ISocketHandover>(socket, IID_ISocketHandover);
    if (!handover) return false;
    std::vector<RefPtr<ISocket>> closing;
    {
        std::lock_guard guard(lock_);
        if (Find(socket)) return true;
        handover->SetSink(static_cast<ISockAdviseSink*>(this));
        entries_.push_back({key, RefPtr<ISocket>(socket), clock_(), false});
        // Over the limit of the place, then of the pool: the oldest go.
        size_t ofPlace = 0;
        for (const SEntry& e : entries_) ofPlace += e.key == key;
        for (auto it = entries_.begin(); it != entries_.end() && (ofPlace > limits.perPlace || entries_.size() > kMaxParked);) {
            bool samePlace = it->key == key;
            if (ofPlace > limits.perPlace && !samePlace) {
                ++it;
                continue;
            }
            if (samePlace) --ofPlace;
            closing.push_back(std::move(it->socket));
            it = entries_.erase(it);
        }
    }
    CloseEach(closing);
    return true;
}

bool CConnectionPool::Take(const std::string& key, ISockAdviseSink* sink, ISocket** out) {
    if (!out || !sink) return false;
    *out = nullptr;
    std::vector<RefPtr<ISocket>> closing;
    RefPtr<ISocket> taken;
    {
        std::lock_guard guard(lock_);
        // The newest first: the server is the least likely to have closed it.
        for (size_t i = entries_.size(); i-- > 0 && !taken;) {
            if (entries_[i].key != key) continue;
            SEntry entry = std::move(entries_[i]);
            entries_.erase(entries_.begin() + ptrdiff_t(i));
            // Bytes waiting on a parked connection are not the answer to a request not yet sent.
            if (entry.dead || !entry.socket->IsConnected() || entry.socket->HasData()) {
                closing.push_back(std::move(entry.socket));
                continue;
            }
            if (auto handover = QueryAs<ISocketHandover>(entry.socket.Get(), IID_ISocketHandover)) {
                handover->SetSink(sink);
                taken = std::move(entry.socket);
            }
        }
    }
    CloseEach(closing);
    if (!taken) return false;
    *out = taken.Detach();
    return true;
}

uint32_t CConnectionPool::ParkedCount(const std::string& key) {
    std::lock_guard guard(lock_);
    uint32_t n = 0;
    for (const SEntry& e : entries_) n += e.key == key && !e.dead;
    return n;
}

void CConnectionPool::Discard(ISocket* socket) {
    std::lock_guard guard(lock_);
    if (SEntry* e = Find(socket)) e->dead = true;
}

uint32_t CConnectionPool::TotalParked() {
    std::lock_guard guard(lock_);
    return uint32_t(entries_.size());
}

void CConnectionPool::Sweep() {
    uint32_t idleMs = limits_().idleMs;
    uint32_t now = clock_();
    std::vector<RefPtr<ISocket>> closing;
    {
        std::lock_guard guard(lock_);
        for (auto it = entries_.begin(); it != entries_.end();) {
            if (it->dead || now - it->parkedAt >= idleMs) {
                closing.push_back(std::move(it->socket));
                it = entries_.erase(it);
            } else {
                ++it;
            }
        }
    }
    CloseEach(closing);
}

void CConnectionPool::CloseAll() {
    std::vector<RefPtr<ISocket>> closing;
    {
        std::lock_guard guard(lock_);
        for (SEntry& e : entries_) closing.push_back(std::move(e.socket));
        entries_.clear();
    }
    CloseEach(closing);
}

RefPtr<ISockAdviseSink> CConnectionPool::OwnerIfTaken(ISocket* socket) {
    RefPtr<ISockAdviseSink> owner;
    if (!socket || !socket->GetSink(owner.Put())) return {};
    if (owner.Get() == static_cast<ISockAdviseSink*>(this)) return {};  // being closed
    return owner;
}

// A parked connection that the server closes, or on which anything arrives, is of no further use:
// it is marked and closed by the next sweep (closing it here, in the middle of the socket
// engine's processing of it, would pull its event out from under the engine).
bool CConnectionPool::OnClose(ISocket* socket) {
    {
        std::lock_guard guard(lock_);
        if (SEntry* e = Find(socket)) {
            e->dead = true;
            return true;
        }
    }
    if (auto owner = OwnerIfTaken(socket)) owner->OnClose(socket);
    return true;
}

bool CConnectionPool::OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) {
    {
        std::lock_guard guard(lock_);
        if (SEntry* e = Find(socket)) {
            e->dead = true;
            return true;
        }
    }
    if (auto owner = OwnerIfTaken(socket)) owner->OnReceive(socket, data, length);
    return true;
}

bool CConnectionPool::OnError(ISocket* socket, uint32_t code) {
    {
        std::lock_guard guard(lock_);
        if (SEntry* e = Find(socket)) {
            e->dead = true;
            return true;
        }
    }
    if (auto owner = OwnerIfTaken(socket)) owner->OnError(socket, code);
    return true;
}

bool CConnectionPool::OnReady(ISocket* socket) {
    {
        std::lock_guard guard(lock_);
        if (Find(socket)) return true;  // nothing to send while parked
    }
    if (auto owner = OwnerIfTaken(socket)) owner->OnReady(socket);
    return true;
}

}  // namespace plover
