#pragma once
// CLeech: what every worker (HTTP and FTP) shares: its section (position .. end), its sockets, its
// state, the connection to the download's server address (the server itself or the proxy; for an
// https address a TLS socket, through the proxy inside a CONNECT tunnel), the idle time-out check
// (which covers a TLS handshake: the worker is "connecting" until its request is sent), stopping
// and teardown. A worker whose place has a kept connection in the pool (connection_pool.h) takes
// it instead of connecting; it parks its connection there again when its answer ended cleanly.
//
// Threads: a worker lives on the downloader's thread. Its sockets' events come to it there through
// a socket redirector (the worker's own ISockAdviseSink wrapped, posted to the downloader engine);
// the downloader calls CheckTimeout and, once the worker has stopped, Stop and Release.
//
// Stopping has two steps. Finish (the worker's own decision: done, failed, refused write) runs
// OnFinish, sets the stopped byte and asks the downloader to reschedule; the worker keeps its
// sockets. Stop (by the download when it removes the worker) closes the sockets, cuts the
// redirector off and drops the references to the downloader and the download.
#include <cstdint>
#include <functional>
#include <string>

#include "download/i_download.h"
#include "download/i_downloader.h"
#include "download/i_leech.h"
#include "engine/containers.h"
#include "engine/engine.h"
#include "net/connection_pool.h"
#include "net/socket_interfaces.h"
#include "net/tls_context.h"

namespace plover {

// The idle time-outs, in seconds ("dwConnect" while connecting, "dwTransfer" afterwards).
struct SLeechTimeouts {
    uint32_t dwConnect = 20;
    uint32_t dwTransfer = 10;
};

// Where a worker finds the parts it talks to.
struct SLeechEnv {
    RefPtr<IDownloader> downloader;      // log lines, use counter, reschedule
    RefPtr<ISocketEngine> sockets;       // makes the connections
    RefPtr<IEngine> deliveryEngine;      // the thread that receives socket events; null: direct calls
    std::function<SLeechTimeouts()> timeouts;  // empty: the defaults
    std::function<bool()> httpProxyInUse;      // empty: no proxy
    std::function<STlsOptions()> tlsOptions;   // empty: verify against the system's store
    RefPtr<IConnectionPool> pool;              // kept connections; null: one request per connection
};

// The downloader and the socket engine registered with the engine manager (events delivered on the
// downloader's thread), the time-out settings and the current HTTP proxy record.
SLeechEnv DefaultLeechEnv();

class CLeech : public ILeech, public ISockAdviseSink {
public:
    // IUnknown: answers IUnknown, ILeech and ISockAdviseSink.
    HRESULT QueryInterface(const GUID& iid, void** out) override;
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override;

    // ILeech
    bool HasEnd() override { return !probe_; }
    uint32_t GetState() override { return state_; }
    uint8_t IsStopped() override { return stopped_; }
    uint32_t GetPosition() override { return position_; }
    uint32_t GetEnd() override { return end_; }
    uint32_t GetRemaining() override { return end_ - position_ + 1; }
    uint32_t GetSocketCount() override { return uint32_t(sockets_.GetSize()); }
    bool GetSocket(uint32_t index, ISocket** out) override;
    void CheckTimeout() override;
    void Stop() override;
    bool GetDownload(IDownload** out) override;
    void OnFinish() override {}

    // ISockAdviseSink: the parts both workers share.
    bool OnConnect(ISocket* socket, bool success) override;
    bool OnAccept(ISocket*) override { return bool(download_); }
    // TLS failures end the download with their status (after the reason is logged); a stream
    // cut without close_notify is remembered, so a body read to the close is not taken as whole.
    bool OnError(ISocket* socket, uint32_t code) override;

    // Opens the connection to the download's server address, or takes a kept one; true when the
    // connect was started (the worker is then "started"). A worker that did not start is released
    // by its creator.
    bool Connect();
    bool IsStarted() const { return started_ != 0; }
    // The idle check with given limits (CheckTimeout reads them from the settings).
    void CheckTimeoutWith(const SLeechTimeouts& limits);

protected:
    CLeech(IDownload* download, uint32_t start, uint32_t end, SLeechEnv env);
    virtual ~CLeech();

    // The worker's own stop: OnFinish, stopped := 1, reschedule. Runs once.
    void Finish();
    // A protocol-log line (downloader event 6).
    void Log(uint32_t kind, const std::string& text);
    ISockAdviseSink* SinkForSockets() { return redirector_ ? redirector_.Get() : this; }
    // Logs the TLS session of a socket once its handshake is done (no-op for a plain socket).
    void LogTlsSession(ISocket* socket);
    // The place of this worker's connection in the pool of kept connections; empty: not kept.
    virtual std::string ConnectionKey() { return {}; }
    // A notification about a connection this worker holds (not one it has given up or parked).
    bool IsMine(ISocket* socket);
    // Takes a kept connection (mayReuse) or opens a new one; false when neither worked (nothing
    // is held then, and the caller decides the status).
    bool OpenConnection(bool mayReuse);
    // Gives up the connection in hand and opens a new one (never a kept one).
    bool ReopenConnection();
    // Hands the connection, whose answer ended cleanly, to the pool (or closes it when the pool
    // will not keep it).
    void ParkConnection();

    RefPtr<IDownload> download_;
    CInterfaceArray<ISocket> sockets_;
    uint32_t state_ = LEECH_NEW;
    uint8_t stopped_ = 0;
    uint8_t started_ = 0;
    uint8_t truncated_ = 0;  // the TLS stream ended without close_notify
    uint8_t tlsLogged_ = 0;
    uint8_t reused_ = 0;     // the connection in hand came from the pool
    RefPtr<ISocket> parked_;  // the connection this worker parked (bytes after its end discard it)
    uint32_t position_ = 0;
    uint32_t end_ = 0;
    // The probe: made for 0..0 while the download's size is not known (and it is not one stream).
    // Decided when the worker is made, never from the range alone: 0..0 is also the section of a
    // one-byte file.
    uint8_t probe_ = 0;
    RefPtr<IDownloader> downloader_;
    RefPtr<ISockAdviseSink> redirector_;
    SLeechEnv env_;

private:
    RefCount refs_;
};

// "a.b.c.d:port" of an IPv4 socket address.
std::string AddressText(const sockaddr_in& address);

// The download status for a socket error code of the TLS layer; 0 for other codes.
DownloadStatus TlsErrorStatus(uint32_t code);

}  // namespace plover
