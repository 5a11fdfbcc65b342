#include "net/proxy_import.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace plover {
namespace {

const char* Env(const char* lower, const char* upper) {
    const char* v = std::getenv(lower);
    if (!v || !*v) v = std::getenv(upper);
    return v ? v : "";
}

}  // namespace

std::string ProxyServerEntry(std::string_view value, std::string_view prefix) {
    size_t at = value.find(prefix);
    if (at != std::string_view::npos) {
        std::string_view rest = value.substr(at + prefix.size());
        return std::string(rest.substr(0, rest.find(';')));
    }
    bool single = std::count(value.begin(), value.end(), ':') == 1 && value.find('=') == std::string_view::npos &&
                  value.find(';') == std::string_view::npos;
    return single ? std::string(value) : std::string();
}

bool ParseProxyEntry(std::string_view entry, SProxyInfo& out) {
    size_t colon = entry.rfind(':');
    if (colon == std::string_view::npos) return false;
    std::string_view digits = entry.substr(colon + 1);
    int64_t port = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) return false;
    return out.Set(std::string(entry.substr(0, colon)).c_str(), port);
}

SProxyImport ImportProxyServer(std::string_view value) {
    SProxyImport result;
    SProxyInfo http, ftp;
    ParseProxyEntry(ProxyServerEntry(value, "http="), http);
    ParseProxyEntry(ProxyServerEntry(value, "ftp="), ftp);
    result.http.Assign(http);
    if (http.IsValid()) result.http.bUse = 1;
    result.ftp.Assign(ftp);
    if (!ftp.IsValid())
        result.ftp.eMode = FTP_PROXY_DIRECT;
    else
        result.ftp.eMode = ftp.Equals(http) ? FTP_PROXY_VIA_HTTP : FTP_PROXY_FTP;
    return result;
}

SFTPProxyInfo MergeImportedFtp(const SFTPProxyInfo& current, const SFTPProxyInfo& imported) {
    SFTPProxyInfo merged = current;
    merged.Assign(imported);
    merged.eMode = imported.eMode;
    return merged;
}

std::string ProxyHostPortFromUrl(std::string_view url) {
    std::string_view defaultPort = "80";
    if (size_t scheme = url.find("://"); scheme != std::string_view::npos) {
        if (url.substr(0, scheme) == "ftp") defaultPort = "21";
        url = url.substr(scheme + 3);
    }
    url = url.substr(0, url.find('/'));
    if (size_t at = url.rfind('@'); at != std::string_view::npos) url = url.substr(at + 1);
    if (url.empty() || url.front() == ':') return "";
    if (url.find(':') == std::string_view::npos) return std::string(url) + ":" + std::string(defaultPort);
    return std::string(url);
}

std::string ProxyServerFromUrls(std::string_view httpProxy, std::string_view ftpProxy) {
    std::string http = ProxyHostPortFromUrl(httpProxy);
    std::string ftp = ProxyHostPortFromUrl(ftpProxy);
    std::string value;
    if (!http.empty()) value = "http=" + http;
    if (!ftp.empty()) value += (value.empty() ? "ftp=" : ";ftp=") + ftp;
    return value;
}

std::string ProxyServerFromEnvironment() {
    return ProxyServerFromUrls(Env("http_proxy", "HTTP_PROXY"), Env("ftp_proxy", "FTP_PROXY"));
}

}  // namespace plover
