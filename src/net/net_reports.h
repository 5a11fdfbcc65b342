#pragma once
// What the network layer tells the layers above it: bytes received (the traffic display), a change
// of the proxy settings (downloads waiting to connect try again), the dial-up engine's log lines
// and an established dial-up connection (downloads waiting for one retry). Net owns this
// interface and never names who listens; the program's composition installs the receiver (the
// downloader). Without a receiver the reports are dropped.
#include <cstdint>

namespace plover {

class INetReports {
public:
    virtual void OnTrafficReceived(uint32_t bytes) = 0;
    virtual void OnProxySettingsChanged() = 0;
    // `kind` is one of the dial-up log kinds below.
    virtual void OnDialUpLog(const char* text, uint32_t kind) = 0;
    virtual void OnDialUpEstablished() = 0;

protected:
    ~INetReports() = default;
};

// The log kinds of the dial-up engine's lines, as the protocol log numbers them.
constexpr uint32_t kLogDialUpDialing = 14;
constexpr uint32_t kLogDialUpEstablished = 15;
constexpr uint32_t kLogDialUpDisconnected = 16;
constexpr uint32_t kLogDialUpFailed = 17;

// Installs the receiver (not owned; it must outlive every report); null removes it.
void InstallNetReports(INetReports* receiver);
// The installed receiver, or null.
INetReports* NetReports();

}  // namespace plover
