#pragma once
// The interfaces of the socket layer. A socket (ISocket) is an IPv4 TCP connection, or a
// listening socket, served by the one socket engine (ISocketEngine): the engine thread waits on
// every socket's event, reads what arrived into one shared buffer and tells the socket's owner
// through its ISockAdviseSink, on the socket engine's thread. An owner that lives on another
// engine's thread hands the engine a socket redirector as the sink instead (socket_redirector.h).
//
// Network events are reported in the manner of event selection: a bit per kind (read, write,
// out-of-band, accept, connect, close) and one error code per kind, read and cleared together
// by ReadNetworkEvents.
#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "engine/engine_mgr.h"  // ENGINE_ID_SOCKET, the socket engine's identifier
#include "platform/com.h"
#include "platform/event.h"

namespace plover {

inline constexpr GUID IID_ISocket = MakeGuid("71F354BD-8EAA-41A3-9C27-D5CDFB7A12AF");
inline constexpr GUID IID_ISocketEngine = MakeGuid("0191992C-00F3-44E7-AC61-5528FCFBF354");
inline constexpr GUID IID_ISockAdviseSink = MakeGuid("EECE3139-083B-4B69-855E-4E1A08EC486D");
inline constexpr GUID IID_IEndable = MakeGuid("FEF81823-CF45-4839-8280-56D91FD23A5A");
inline constexpr GUID IID_ISocketHandover = MakeGuid("3C9E51A7-06D4-4B8E-A2F1-7D5B9C0E4A61");

// A 16-byte IPv4 socket address: family AF_INET (2), port and address in network byte order.
using SOCKADDR_IN = sockaddr_in;

// Network event bits and their positions in SNetworkEvents::iErrorCode.
enum : int32_t {
    FD_READ_BIT = 0,
    FD_WRITE_BIT = 1,
    FD_OOB_BIT = 2,
    FD_ACCEPT_BIT = 3,
    FD_CONNECT_BIT = 4,
    FD_CLOSE_BIT = 5,
    FD_MAX_EVENTS = 10,
};
enum : int32_t {
    FD_READ = 1 << FD_READ_BIT,
    FD_WRITE = 1 << FD_WRITE_BIT,
    FD_OOB = 1 << FD_OOB_BIT,
    FD_ACCEPT = 1 << FD_ACCEPT_BIT,
    FD_CONNECT = 1 << FD_CONNECT_BIT,
    FD_CLOSE = 1 << FD_CLOSE_BIT,
    FD_ALL_EVENTS = 63,
};

// The events read from a socket: the bits that occurred, and an error code (errno, 0 for none)
// for each of them.
struct SNetworkEvents {
    int32_t lNetworkEvents = 0;
    int32_t iErrorCode[FD_MAX_EVENTS] = {};
};

// The socket engine's operation codes (its block of engine operations).
constexpr uint32_t SOP_ADD_SOCKET = 201;     // record RefPtr<ISocket>
constexpr uint32_t SOP_REMOVE_SOCKET = 202;  // record RefPtr<ISocket>
constexpr uint32_t SOP_HOST_LOOKUP = 203;    // record SHostLookup

// Codes of ISockAdviseSink::OnError.
constexpr uint32_t SOCKERR_NETWORK_EVENTS = 0;  // reading the network events failed
constexpr uint32_t SOCKERR_RECEIVE = 1;         // a receive failed
// Codes raised by the TLS layer (tls_socket.h); the socket's ITlsSession tells the reason.
constexpr uint32_t SOCKERR_TLS = 2;                // the TLS session failed (handshake or a bad record)
constexpr uint32_t SOCKERR_CERT_EXPIRED = 3;      // the server's certificate has expired
constexpr uint32_t SOCKERR_CERT_OTHER_HOST = 4;   // the certificate names another host
constexpr uint32_t SOCKERR_CERT_NOT_TRUSTED = 5;  // no trusted chain (self-signed, unknown issuer...)
constexpr uint32_t SOCKERR_TLS_TRUNCATED = 6;     // the connection closed without the TLS close_notify
constexpr uint32_t SOCKERR_TUNNEL_REFUSED = 7;    // the HTTP proxy refused the CONNECT tunnel

struct ISockAdviseSink;

struct ISocket : IUnknown {
    virtual void GetRemoteAddress(SOCKADDR_IN* out) = 0;
    // The local IPv4 address of the connected socket as "%d,%d,%d,%d"; empty when unreadable.
    virtual void GetLocalAddressText(std::string& out) = 0;
    // On a listening socket: accepts one connection and turns this object into it.
    virtual bool Accept() = 0;
    virtual bool IsStarted() = 0;
    // Signals the event when data is waiting or the socket is connected (any thread).
    virtual void Kick() = 0;
    virtual uint32_t GetIdleSeconds() = 0;
    // One receive: bytes read, 0 when the peer has closed, -1 on error.
    virtual int32_t Recv(void* buffer, int32_t length) = 0;
    // Sends the whole buffer; false on failure.
    virtual bool Send(const void* buffer, uint32_t length) = 0;
    virtual bool GetSink(ISockAdviseSink** out) = 0;
    virtual Handle GetEvent() = 0;
    virtual bool ReadNetworkEvents(SNetworkEvents* out) = 0;
    virtual bool HasData() = 0;
    virtual bool IsConnected() = 0;
    // Removes the socket from the socket engine (waiting) and forgets the sink.
    virtual void Close() = 0;
    virtual bool IsFirstRead() = 0;
    // Puts the event into the socket engine's event table, with this socket as cookie.
    virtual void RegisterEvent() = 0;
    virtual bool IsRegistrationPending() = 0;
    virtual int32_t AddPending() = 0;
    virtual int32_t ReleasePending() = 0;
    virtual int32_t GetPendingCount() = 0;
    virtual void SetThrottled(bool throttled) = 0;
    virtual bool IsThrottled() = 0;
    virtual void SetActive(bool active) = 0;
    virtual bool IsActive() = 0;

protected:
    ~ISocket() = default;
};

// What a socket's owner hears. Every method returns a bool that the socket engine ignores.
struct ISockAdviseSink : IUnknown {
    virtual bool OnConnect(ISocket* socket, bool success) = 0;
    virtual bool OnAccept(ISocket* socket) = 0;
    virtual bool OnClose(ISocket* socket) = 0;
    virtual bool OnReady(ISocket* socket) = 0;
    // The data is valid only during the call.
    virtual bool OnReceive(ISocket* socket, const uint8_t* data, uint32_t length) = 0;
    virtual bool OnError(ISocket* socket, uint32_t code) = 0;

protected:
    ~ISockAdviseSink() = default;
};

struct ISocketEngine : IUnknown {
    // A listening socket on an ephemeral port of all local addresses; the port in host order.
    // False (and nothing allocated) when the socket cannot be made.
    virtual bool CreateListenSocket(ISockAdviseSink* sink, uint16_t* port, ISocket** out) = 0;
    // A socket connecting to `remote`. False when the sink or the output is null, or when the
    // socket cannot be made (a failed connection for the caller).
    virtual bool CreateSocket(ISockAdviseSink* sink, const SOCKADDR_IN* remote, ISocket** out, bool throttled) = 0;
    virtual void RemoveSocket(ISocket* socket) = 0;
    virtual void AddSocket(ISocket* socket) = 0;
    virtual bool GetSocket(uint32_t index, ISocket** out) = 0;

protected:
    ~ISocketEngine() = default;
};

// A connection that can pass from one owner to the next (a kept connection: a worker parks it, the
// connection pool holds it, the next worker takes it). Notifications made after SetSink returns go
// to the new sink; one the socket engine is making at that moment may still reach the old one.
struct ISocketHandover : IUnknown {
    virtual void SetSink(ISockAdviseSink* sink) = 0;

protected:
    ~ISocketHandover() = default;
};

// Cuts an object off from its owner: after End returns it calls the owner no more.
struct IEndable : IUnknown {
    virtual void End() = 0;

protected:
    ~IEndable() = default;
};

}  // namespace plover
