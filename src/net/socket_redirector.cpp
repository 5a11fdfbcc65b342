#include "net/socket_redirector.h"

#include "net/net_reports.h"
#include "engine/engine_mgr.h"
#include "net/socket_message.h"

namespace plover {

CSocketRedirector::CSocketRedirector(ISockAdviseSink* realSink, IEngine* target) : target_(target), sink_(realSink) {}

CSocketRedirector::~CSocketRedirector() = default;

HRESULT CSocketRedirector::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ISockAdviseSink) {
        *out = static_cast<ISockAdviseSink*>(this);
    } else if (iid == IID_IReceiveHandover) {
        *out = static_cast<IReceiveHandover*>(this);
    } else if (iid == IID_IEndable) {
        *out = static_cast<IEndable*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

uint32_t CSocketRedirector::Release() {
    uint32_t n = refs_.Drop();
    if (n == 0) delete this;
    return n;
}

bool CSocketRedirector::OnConnect(ISocket* socket, bool success) {
    Redirect(SMK_CONNECT, socket, success ? 1 : 0, nullptr, 0);
    return true;
}

bool CSocketRedirector::OnAccept(ISocket* socket) {
    Redirect(SMK_ACCEPT, socket, 0, nullptr, 0);
    return true;
}

bool CSocketRedirector::OnClose(ISocket* socket) {
    Redirect(SMK_CLOSE, socket, 0, nullptr, 0);
    return true;
}

bool CSocketRedirector::OnReady(ISocket* socket) {
    Redirect(SMK_READY, socket, 0, nullptr, 0);
    return true;
}

bool CSocketRedirector::OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) {
    if (!data || !length) return true;
    CReceivedData copy;
    copy.Assign(data, length);
    Redirect(SMK_RECEIVE, socket, 0, &copy, length);
    return true;
}

void CSocketRedirector::OnReceiveBlock(ISocket* socket, CReceivedData& data, uint32_t length) {
    if (data.get() && length) Redirect(SMK_RECEIVE, socket, 0, &data, length);
}

bool CSocketRedirector::OnError(ISocket* socket, uint32_t code) {
    Redirect(SMK_ERROR, socket, code, nullptr, 0);
    return true;
}

void CSocketRedirector::End() {
    RefPtr<IEngine> target;
    RefPtr<ISockAdviseSink> sink;
    CAutoCriticalSection guard(lock_);
    std::swap(target, target_);
    std::swap(sink, sink_);
}

void CSocketRedirector::Redirect(uint32_t kind, ISocket* socket, uint32_t value, CReceivedData* data, uint32_t length) {
    CAutoCriticalSection guard(lock_);
    if (!target_) return;  // ended: late notifications are dropped
    auto* msg = new SSocketMessage(kind, sink_.Get(), socket);
    msg->value1 = value;
    if (kind == SMK_RECEIVE && data) {
        msg->data = std::move(*data);
        msg->length = length;
        ReportTraffic(length);
    }
    PostSocketMessage(target_.Get(), msg);
}

// Feeds the traffic display.
void CSocketRedirector::ReportTraffic(uint32_t length) {
    if (INetReports* reports = NetReports()) reports->OnTrafficReceived(length);
}

}  // namespace plover
