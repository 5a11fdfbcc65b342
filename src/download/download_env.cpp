#include "download/download_env.h"

#include <arpa/inet.h>

#include <mutex>

#include "app/settings.h"
#include "download/file_writer.h"
#include "download/ftp_leech.h"
#include "download/http_leech.h"
#include "download/i_file_relocator.h"
#include "download/traffic.h"
#include "net/br_socket.h"
#include "net/host_lookup.h"
#include "net/proxy_info.h"
#include "platform/tick.h"
#include "html/html_parser.h"

namespace plover {
namespace {

class CDefaultDownloadEnv final : public IDownloadEnv {
public:
    int32_t GetLiveSocketCount() override { return CBRSocket::GetLiveCount(); }

    void ResolveHostAsync(const sockaddr_in& address, const std::string& host,
                          IHostByNameCallback* callback) override {
        plover::ResolveHostAsync(address, host.c_str(), callback);
    }

    bool CreateLeech(ELeechKind kind, IDownload* download, uint32_t start, uint32_t end,
                     RefPtr<ILeech>& out) override {
        out.Reset();
        if (kind == LEECH_KIND_HTTP)
            out = StartHttpLeech(download, start, end);
        else if (kind == LEECH_KIND_FTP)
            out = StartFtpLeech(download, start, end);
        else
            return false;
        return true;
    }

    uint64_t GetFreeSpace(const std::string& folder) override { return FreeSpaceOf(folder); }

    // The file relocator registered with the engine manager takes charge of the request; without
    // one the request stays with the download.
    bool Relocate(CRelocInfo* request) override {
        RefPtr<IFileRelocator> relocator = Relocator();
        if (!relocator) return false;
        relocator->Relocate(request);
        return true;
    }
    // Waits, so that the relocator has let go of the file when this returns.
    void CancelRelocation(IDownload* download) override {
        if (RefPtr<IFileRelocator> relocator = Relocator()) relocator->Cancel(download, true);
    }

    uint32_t GetTicks() override { return GetTickCount(); }

private:
    static RefPtr<IFileRelocator> Relocator() {
        RefPtr<IEngine> engine;
        if (!GetEngineMgr()->GetEngine(ENGINE_ID_FILE_RELOCATOR, engine.Put())) return {};
        return QueryAs<IFileRelocator>(engine.Get(), IID_IFileRelocator);
    }
};

CDefaultDownloadEnv g_defaultEnv;
std::atomic<IDownloadEnv*> g_env{nullptr};

}  // namespace

IDownloadEnv* GetDownloadEnv() {
    IDownloadEnv* env = g_env.load();
    return env ? env : &g_defaultEnv;
}

void SetDownloadEnv(IDownloadEnv* env) { g_env.store(env); }

SProxyChoice CurrentProxyChoice() {
    SProxyChoice choice;
    SHTTPProxyInfo http = GetHTTPProxy();
    SFTPProxyInfo ftp = GetFTPProxy();
    choice.httpInUse = http.IsValid();
    choice.httpHost = http.csAddr;
    choice.httpPort = uint16_t(http.iPort);
    choice.ftpInUse = ftp.IsValid();
    choice.ftpMode = ftp.eMode;
    choice.ftpHost = ftp.csAddr;
    choice.ftpPort = uint16_t(ftp.iPort);
    return choice;
}

SConnectTarget ChooseConnectTarget(int32_t service, const std::string& server, uint16_t port,
                                   const SProxyChoice& proxies) {
    SConnectTarget t{server, port, LEECH_KIND_NONE};
    if (IsHttpService(service)) {
        t.leech = LEECH_KIND_HTTP;  // an https address through the proxy goes in a CONNECT tunnel
    } else if (service == SERVICE_FTP) {
        const bool viaHttp = proxies.httpInUse && proxies.ftpMode == 1;
        t.leech = viaHttp ? LEECH_KIND_HTTP : LEECH_KIND_FTP;
        if (!viaHttp) {
            if (proxies.ftpInUse) {
                t.host = proxies.ftpHost;
                t.port = proxies.ftpPort;
            }
            return t;
        }
    } else {
        return t;
    }
    if (proxies.httpInUse) {
        t.host = proxies.httpHost;
        t.port = proxies.httpPort;
    }
    return t;
}

uint32_t SettingRetryLimit() { return GetSettings().TimeoutParams.dwRetry; }

uint32_t SettingMaxSectPerDownload() {
    uint32_t n = CurrentTrafficLimits().maxSectPerDownload;
    return n == 0 ? 1 : n;
}

uint32_t SettingMinSectSize() { return CurrentTrafficLimits().minSectSize; }

bool SettingOverwriteAlways() { return GetSettings().bOverwriteAlways != 0; }

std::string FindHtmlFollowAddress(const std::string& html) {
    CHTMLParser parser;
    parser.ParseBuffer(html.data(), html.size());
    parser.FindRefreshURL();
    if (!parser.GetRefreshURL().empty()) return parser.GetRefreshURL();
    std::vector<CHTMLNode*> anchors;
    parser.CollectAnchors(anchors);
    if (anchors.empty()) return {};
    return anchors[0]->GetHref();
}

namespace {
std::mutex g_runTlsLock;
STlsOptions g_runTls;
}  // namespace

void SetRunTlsOptions(const STlsOptions& options) {
    std::lock_guard guard(g_runTlsLock);
    g_runTls = options;
}

STlsOptions CurrentTlsOptions() {
    STlsOptions run;
    {
        std::lock_guard guard(g_runTlsLock);
        run = g_runTls;
    }
    const CRegistrySettings& s = GetSettings();
    return STlsOptions{run.insecure || s.bTlsInsecure != 0, run.caFile.empty() ? s.csTlsCaFile : run.caFile};
}

}  // namespace plover
