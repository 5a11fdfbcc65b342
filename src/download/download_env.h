#pragma once
// The surroundings a download reaches outside itself, behind one small interface so that tests
// can run a download against fakes: the process-wide socket count, the asynchronous host lookup,
// the making of workers, the free space of a folder, writing the target file, the file relocator
// and the clock. The default (GetDownloadEnv) uses the real socket engine, HTTP worker,
// filesystem and tick count; a test installs its own with SetDownloadEnv and removes it with
// SetDownloadEnv(nullptr).
//
// The settings (retry count, sections per download, overwrite policy) and the proxy records are
// read from the program's settings directly; ChooseConnectTarget holds the proxy rule.
#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "download/download_config.h"
#include "download/file_writer.h"
#include "net/tls_context.h"
#include "platform/com.h"

namespace plover {

struct IDownload;
struct ILeech;
struct IHostByNameCallback;
class CRelocInfo;

// Which worker fetches an address.
enum ELeechKind : int32_t {
    LEECH_KIND_NONE = 0,  // no worker serves the address
    LEECH_KIND_HTTP = 1,  // HTTP, or FTP through the HTTP proxy
    LEECH_KIND_FTP = 2,
};

class IDownloadEnv {
public:
    // Socket objects that exist in the process; the planner opens nothing at 60 or more.
    virtual int32_t GetLiveSocketCount() = 0;
    // Starts the lookup of host; the answer comes to callback->OnHostByName on another thread.
    virtual void ResolveHostAsync(const sockaddr_in& address, const std::string& host,
                                  IHostByNameCallback* callback) = 0;
    // A worker of that kind for start..end (0..0: the probe). False when the kind has no worker
    // (the address is not supported); true with `out` empty when the worker did not start.
    virtual bool CreateLeech(ELeechKind kind, IDownload* download, uint32_t start, uint32_t end,
                             RefPtr<ILeech>& out) = 0;
    // Free bytes for this user on the filesystem of folder; UINT64_MAX when unknown.
    virtual uint64_t GetFreeSpace(const std::string& folder) = 0;
    // Hands a request to the file relocator (which hands it back through the downloader); false
    // when there is none (the request stays with the caller).
    virtual bool Relocate(CRelocInfo* request) = 0;
    // Drops a queued relocation of this download.
    virtual void CancelRelocation(IDownload* download) = 0;
    // The tick count in milliseconds (32-bit, wrapping).
    virtual uint32_t GetTicks() = 0;
    // Writes a block into a download's target file; false with the system's error number in
    // *error. The real file's write unless a test puts a failing disk in its place.
    virtual bool WriteFile(CTargetFile& file, uint64_t offset, const uint8_t* data, size_t length, int* error) {
        return file.WriteAt(offset, data, length, error);
    }

protected:
    ~IDownloadEnv() = default;
};

IDownloadEnv* GetDownloadEnv();
// Installs an environment (not owned; it must outlive every download that uses it); null
// restores the default.
void SetDownloadEnv(IDownloadEnv* env);

// The proxy settings that decide where workers connect.
struct SProxyChoice {
    bool httpInUse = false;  // the HTTP proxy is valid and used
    std::string httpHost;
    uint16_t httpPort = 0;
    bool ftpInUse = false;   // the FTP proxy is valid (mode 2)
    uint32_t ftpMode = 0;    // 0 direct, 1 through the HTTP proxy, 2 through the FTP proxy
    std::string ftpHost;
    uint16_t ftpPort = 0;
};
SProxyChoice CurrentProxyChoice();

struct SConnectTarget {
    std::string host;
    uint16_t port = 0;
    ELeechKind leech = LEECH_KIND_NONE;
};

// Where the workers of an address connect and which worker fetches it: FTP goes through the HTTP
// proxy when that is in use and the FTP mode is 1 (fetched by the HTTP worker); other FTP through
// the FTP proxy when that is in use; HTTP (and FTP through the HTTP proxy) through the HTTP proxy
// when that is in use; otherwise straight to the server.
SConnectTarget ChooseConnectTarget(int32_t service, const std::string& server, uint16_t port,
                                   const SProxyChoice& proxies);

// Settings the download consults.
uint32_t SettingRetryLimit();            // "dwRetry" of the time-out parameters
uint32_t SettingMaxSectPerDownload();    // "dwMaxSectPerDownload" of the current traffic mode
uint32_t SettingMinSectSize();           // "dwMinSectSize" of the current traffic mode
bool SettingOverwriteAlways();           // "bOverwriteAlways"

// The address an HTML page sent in place of a file leads to: the target of its meta refresh,
// else the href of its first anchor; empty when it has neither.
std::string FindHtmlFollowAddress(const std::string& html);

// The TLS options of new connections: the stored settings ("bTlsInsecure", "csTlsCaFile") with
// this run's choice over them (an anchor file given for the run replaces the stored one; either
// may turn verification off).
void SetRunTlsOptions(const STlsOptions& options);
STlsOptions CurrentTlsOptions();

}  // namespace plover
