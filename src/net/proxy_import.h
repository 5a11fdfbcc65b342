#pragma once
// The import of the system's proxy setting. The setting is one "ProxyServer" string: either one
// "address:port" for every protocol, or entries such as "http=address:port;ftp=address:port".
// On Linux the same string is built from the http_proxy and ftp_proxy variables of the
// environment (or given by the user) and imported by the same rules:
//  - the HTTP entry becomes an HTTP record in use;
//  - FTP goes directly (mode 0) without a valid FTP entry, through the HTTP proxy (mode 1) when
//    its entry names the same address and port, and through its own FTP proxy (mode 2) otherwise.
#include <string>
#include <string_view>

#include "net/proxy_info.h"

namespace plover {

struct SProxyImport {
    SHTTPProxyInfo http;
    SFTPProxyInfo ftp;
};

// The entry for one protocol prefix ("http=", "ftp="): the text after the prefix up to the next
// ";"; or the whole value when it holds exactly one ":" and no "=" or ";"; otherwise empty.
std::string ProxyServerEntry(std::string_view value, std::string_view prefix);
// Splits an entry at its last ":" into address and decimal port; false (record untouched) for an
// entry without ":", a port that is not a number or out of range.
bool ParseProxyEntry(std::string_view entry, SProxyInfo& out);
// The records that a "ProxyServer" value gives.
SProxyImport ImportProxyServer(std::string_view value);
// The FTP record after an import: the imported address, port and mode; the passive flag and the
// FTP proxy's login, which the system's setting does not name, stay as they were.
SFTPProxyInfo MergeImportedFtp(const SFTPProxyInfo& current, const SFTPProxyInfo& imported);

// "host:port" of a proxy variable such as "http://user:pw@host:3128/": the scheme, the login and
// the path are dropped; a missing port becomes the scheme's (21 for ftp://, otherwise 80).
// Empty for an empty value or one without a host.
std::string ProxyHostPortFromUrl(std::string_view url);
// The "ProxyServer" string for the given http_proxy and ftp_proxy values (either may be empty):
// "http=H;ftp=F", "http=H" or "ftp=F"; empty when neither names a proxy.
std::string ProxyServerFromUrls(std::string_view httpProxy, std::string_view ftpProxy);
// The same from the environment (http_proxy, else HTTP_PROXY; ftp_proxy, else FTP_PROXY).
std::string ProxyServerFromEnvironment();

}  // namespace plover
