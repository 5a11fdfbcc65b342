#pragma once
// The rules of the proxy options page, whatever front end shows it: what the user entered is
// checked, refused with the page's own messages, or made the current proxy records, after which
// the downloader is told that the proxy settings changed (so that connecting downloads retry).
#include <cstdint>
#include <string>

#include "net/proxy_info.h"

namespace plover {

inline constexpr const char* kMsgHTTPProxyInvalid = "HTTP proxy info is invalid";
inline constexpr const char* kMsgHTTPProxyNotSpecified = "HTTP proxy is not specified";
inline constexpr const char* kMsgFTPProxyInvalid = "Invalid FTP proxy information";

// What the page holds. Ports are as typed (any number; out of range is refused or not stored).
struct SProxyPage {
    bool bHttpUse = false;
    std::string httpAddr;
    int64_t httpPort = -1;
    uint32_t ftpMode = FTP_PROXY_DIRECT;
    std::string ftpAddr;
    int64_t ftpPort = -1;
    bool bPasv = false;
    std::string ftpUser;
    std::string ftpPassword;
};

// The page filled from the current records.
SProxyPage ProxyPageFromCurrent();

// Checks the page. On refusal returns false with the message and changes nothing. Otherwise
// stores the records in `http` and `ftp`: the HTTP record is the empty one (no address, port -1,
// not used) when its values are refused while the proxy is not used.
bool BuildProxyRecords(const SProxyPage& page, SHTTPProxyInfo& http, SFTPProxyInfo& ftp, std::string& message);

// Applies the page: BuildProxyRecords, then the records become the current ones and the
// downloader (when one is registered) is notified of the change.
bool ApplyProxyPage(const SProxyPage& page, std::string& message);

}  // namespace plover
