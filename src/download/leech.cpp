#include "download/leech.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstring>

#include "app/settings.h"
#include "download/download_env.h"
#include "download/http_request.h"
#include "engine/engine_mgr.h"
#include "net/socket_redirector.h"
#include "net/tls_socket.h"

namespace plover {

std::string AddressText(const sockaddr_in& address) {
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &address.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(address.sin_port));
}

CLeech::CLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env)
    : download_(download), position_(start), end_(end), downloader_(env.downloader), env_(std::move(env)) {
    probe_ = start == 0 && end == 0 && download && download->GetSizeState() != SIZE_KNOWN &&
             !download->IsSingleStream();
}

CLeech::~CLeech() { Stop(); }

HRESULT CLeech::QueryInterface(const GUID& iid, void** out) {
    if (!out) return E_INVALIDARG;
    if (iid == IID_IUnknown || iid == IID_ILeech)
        *out = static_cast<ILeech*>(this);
    else if (iid == IID_ISockAdviseSink)
        *out = static_cast<ISockAdviseSink*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

uint32_t CLeech::Release() {
    uint32_t left = refs_.Drop();
    if (left == 0) delete this;
    return left;
}

bool CLeech::Connect() {
    if (started_ || !download_ || !env_.sockets) return false;
    if (!OpenConnection(true)) {
        Stop();
        return false;
    }
    return true;
}

bool CLeech::OpenConnection(bool mayReuse) {
    // The redirector and this worker hold each other until Stop cuts the redirector off, so a
    // worker that does not start must be stopped before its creator releases it.
    if (env_.deliveryEngine && !redirector_)
        redirector_ = RefPtr<ISockAdviseSink>::Adopt(
            new CSocketRedirector(static_cast<ISockAdviseSink*>(this), env_.deliveryEngine.Get()));
    sockaddr_in address = download_->GetServerAddress();
    RefPtr<ISocket> socket;
    std::string key = mayReuse && env_.pool ? ConnectionKey() : std::string();
    if (!key.empty() && env_.pool->Take(key, SinkForSockets(), socket.Put())) {
        sockets_.Add(socket.Get());
        reused_ = 1;
        Log(LOG_CONNECTED, AddressText(address) + " (reused connection)");
        state_ = LEECH_CONNECTING;
        started_ = 1;
        if (downloader_) downloader_->AddUse();
        // Connected already: OnReady sends the request. Through the redirector it runs as this
        // thread's next step, without a round trip through the socket engine.
        if (redirector_)
            redirector_->OnReady(socket.Get());
        else
            socket->Kick();
        return true;
    }
    reused_ = 0;
    bool made;
    if (download_->GetConfig()->Service == SERVICE_HTTPS) {
        const SDownloadConfig* config = download_->GetConfig();
        STlsTarget target{config->Server, env_.tlsOptions ? env_.tlsOptions() : STlsOptions{}, {}};
        // Through the HTTP proxy the server address is the proxy's: TLS runs inside its tunnel.
        if (env_.httpProxyInUse && env_.httpProxyInUse()) target.tunnelRequest = BuildConnectRequest(config->Server, config->Port);
        std::string error;
        made = CreateTlsSocket(env_.sockets.Get(), SinkForSockets(), &address, target, socket.Put(), true, &error);
        if (!made && !error.empty()) {
            // Without its trust anchors no server can be trusted: trying again would not help.
            Log(LOG_TLS_FAILED, error);
            download_->SetStatus(DS_CERT_NOT_TRUSTED);
        }
    } else {
        made = env_.sockets->CreateSocket(SinkForSockets(), &address, socket.Put(), true);
        if (!made) {
            int error = errno;  // the connect that failed at once (no route, no free descriptor...)
            Log(LOG_CONNECTING, "Cannot connect to " + AddressText(address) + ": " + std::strerror(error));
        }
    }
    if (!made || !socket) return false;
    sockets_.Add(socket.Get());
    Log(LOG_CONNECTING, AddressText(address));
    socket->RegisterEvent();
    if (!socket->IsStarted()) {
        for (ISocket* s : sockets_) s->Close();
        sockets_.RemoveAll();
        return false;
    }
    state_ = LEECH_CONNECTING;
    started_ = 1;
    if (downloader_) downloader_->AddUse();
    return true;
}

bool CLeech::ReopenConnection() {
    for (ISocket* socket : sockets_)
        if (socket) socket->Close();
    sockets_.RemoveAll();
    if (started_ && downloader_) downloader_->ReleaseUse();
    started_ = 0;
    state_ = LEECH_NEW;
    return download_ && OpenConnection(false);
}

void CLeech::ParkConnection() {
    if (sockets_.GetSize() != 1 || !sockets_[0]) return;
    RefPtr<ISocket> socket(sockets_[0]);
    std::string key = env_.pool ? ConnectionKey() : std::string();
    sockets_.RemoveAll();  // no longer this worker's: Stop does not close it
    if (!key.empty() && env_.pool->Park(key, socket.Get()))
        parked_ = socket;
    else
        socket->Close();
}

bool CLeech::IsMine(ISocket* socket) {
    if (!socket) return true;
    for (ISocket* s : sockets_)
        if (s == socket) return true;
    return false;
}

bool CLeech::GetSocket(uint32_t index, ISocket** out) {
    if (!out || index >= sockets_.GetSize() || !sockets_[index]) return false;
    *out = sockets_[index];
    (*out)->AddRef();
    return true;
}

bool CLeech::GetDownload(IDownload** out) {
    if (!out || !download_) return false;
    *out = download_.Get();
    (*out)->AddRef();
    return true;
}

void CLeech::CheckTimeout() {
    CheckTimeoutWith(env_.timeouts ? env_.timeouts() : SLeechTimeouts{});
}

void CLeech::CheckTimeoutWith(const SLeechTimeouts& limits) {
    if (stopped_ || !download_) return;
    for (ISocket* socket : sockets_) {
        if (!socket || !socket->IsActive()) continue;
        uint32_t limit;
        // A kept connection's idle time is that of its parking; it is ready at once.
        if (state_ == LEECH_CONNECTING && reused_) continue;
        if (state_ == LEECH_CONNECTING)
            limit = limits.dwConnect;
        else if (state_ == LEECH_REQUEST_SENT || state_ == LEECH_RECEIVING)
            limit = limits.dwTransfer;
        else
            continue;
        if (socket->GetIdleSeconds() <= limit) continue;
        // Reported while this worker still runs, as every failure is, so that the download's
        // retry rule can tell whether other workers go on.
        RefPtr<IDownload> download = download_;
        Log(LOG_TIMEOUT, download->GetOriginalUrl());
        download->SetStatus(DS_TIMEOUT);
        Finish();
        return;
    }
}

void CLeech::Finish() {
    if (stopped_) return;
    OnFinish();
    stopped_ = 1;
    if (downloader_) downloader_->Reschedule();
}

void CLeech::Stop() {
    if (started_) {
        started_ = 0;
        for (ISocket* socket : sockets_)
            if (socket) socket->Close();
        if (!parked_) Log(LOG_CLOSED, download_ ? download_->GetOriginalUrl() : std::string());
        if (downloader_) downloader_->ReleaseUse();
    }
    sockets_.RemoveAll();
    if (redirector_) {
        if (auto endable = QueryAs<IEndable>(redirector_.Get(), IID_IEndable)) endable->End();
        redirector_.Reset();
    }
    downloader_.Reset();
    download_.Reset();
}

bool CLeech::OnConnect(ISocket* socket, bool success) {
    if (!download_ || stopped_ || !IsMine(socket)) return false;
    if (!success) {
        download_->SetStatus(DS_CANT_CONNECT);
        Finish();
        return true;
    }
    sockaddr_in peer{};
    if (socket) socket->GetRemoteAddress(&peer);
    Log(LOG_CONNECTED, AddressText(peer));
    return true;
}

DownloadStatus TlsErrorStatus(uint32_t code) {
    switch (code) {
        case SOCKERR_CERT_EXPIRED: return DS_CERT_EXPIRED;
        case SOCKERR_CERT_OTHER_HOST: return DS_CERT_OTHER_HOST;
        case SOCKERR_CERT_NOT_TRUSTED: return DS_CERT_NOT_TRUSTED;
        case SOCKERR_TLS: return DS_CANT_CONNECT;  // a failed handshake: retried like a failed connect
        case SOCKERR_TUNNEL_REFUSED: return DS_PROXY_REFUSED;
        default: return 0;
    }
}

bool CLeech::OnError(ISocket* socket, uint32_t code) {
    if (!download_ || !IsMine(socket)) return false;
    if (code == SOCKERR_TLS_TRUNCATED) {
        truncated_ = 1;
        return true;
    }
    DownloadStatus status = TlsErrorStatus(code);
    if (status == 0 || stopped_) return true;
    RefPtr<IDownload> download = download_;
    if (auto session = QueryAs<ITlsSession>(socket, IID_ITlsSession)) Log(LOG_TLS_FAILED, session->GetFailureText());
    download->SetStatus(status);
    Finish();
    return true;
}

void CLeech::LogTlsSession(ISocket* socket) {
    if (tlsLogged_ || !socket) return;
    auto session = QueryAs<ITlsSession>(socket, IID_ITlsSession);
    if (!session) return;
    tlsLogged_ = 1;
    sockaddr_in peer{};
    socket->GetRemoteAddress(&peer);
    Log(LOG_TLS, session->GetSessionText() + " with " + AddressText(peer));
}

void CLeech::Log(uint32_t kind, const std::string& text) {
    if (downloader_) downloader_->Notify(NE_LOG, reinterpret_cast<uintptr_t>(text.c_str()), kind);
}

SLeechEnv DefaultLeechEnv() {
    SLeechEnv env;
    IEngineMgr* mgr = GetEngineMgr();
    RefPtr<IEngine> downloader, sockets;
    if (mgr->GetEngine(ENGINE_ID_DOWNLOADER, downloader.Put())) {
        env.downloader = QueryAs<IDownloader>(downloader.Get(), IID_IDownloader);
        env.deliveryEngine = downloader;
    }
    if (mgr->GetEngine(ENGINE_ID_SOCKET, sockets.Put()))
        env.sockets = QueryAs<ISocketEngine>(sockets.Get(), IID_ISocketEngine);
    env.timeouts = [] {
        const STimeoutParams& p = GetSettings().TimeoutParams;
        return SLeechTimeouts{p.dwConnect, p.dwTransfer};
    };
    // An HTTP worker serves an FTP address only through the HTTP proxy, so "in use" is all it needs.
    env.httpProxyInUse = [] { return CurrentProxyChoice().httpInUse; };
    env.tlsOptions = CurrentTlsOptions;
    if (sockets) env.pool = QueryAs<IConnectionPool>(sockets.Get(), IID_IConnectionPool);
    return env;
}

}  // namespace plover
