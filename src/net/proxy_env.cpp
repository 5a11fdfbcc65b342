#include "net/proxy_env.h"

#include <strings.h>

namespace plover {
namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// The scheme and the host of an address ("" when it has none).
std::string_view HostOf(std::string_view url) {
    size_t scheme = url.find("://");
    if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of("/?#"));
    size_t at = url.rfind('@');
    if (at != std::string_view::npos) url.remove_prefix(at + 1);
    if (!url.empty() && url.front() == '[') return url.substr(1, url.find(']') - 1);
    return url.substr(0, url.find(':'));
}

}  // namespace

std::optional<SProxyAddress> ParseProxyAddress(std::string_view text) {
    size_t scheme = text.find("://");
    if (scheme != std::string_view::npos) {
        if (!EqualNoCase(text.substr(0, scheme), "http")) return std::nullopt;
        text.remove_prefix(scheme + 3);
    }
    text = text.substr(0, text.find('/'));
    size_t at = text.rfind('@');
    if (at != std::string_view::npos) text.remove_prefix(at + 1);
    size_t colon = text.rfind(':');
    SProxyAddress out;
    out.port = 80;
    if (colon != std::string_view::npos) {
        std::string_view digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        uint32_t port = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            port = port * 10 + uint32_t(c - '0');
        }
        if (port == 0 || port > 65535) return std::nullopt;
        out.port = uint16_t(port);
        text = text.substr(0, colon);
    }
    if (text.empty()) return std::nullopt;
    out.host = std::string(text);
    return out;
}

bool MatchesNoProxy(std::string_view host, std::string_view noProxy) {
    if (host.empty()) return false;
    size_t pos = 0;
    while (pos < noProxy.size()) {
        size_t end = noProxy.find_first_of(", \t", pos);
        if (end == std::string_view::npos) end = noProxy.size();
        std::string_view entry = noProxy.substr(pos, end - pos);
        pos = end + 1;
        if (entry.empty()) continue;
        if (entry == "*") return true;
        if (entry.front() != '[') entry = entry.substr(0, entry.find(':'));
        while (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
        if (entry.empty()) continue;
        if (EqualNoCase(host, entry)) return true;
        // A domain above the host: the host ends with ".entry".
        if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
            EqualNoCase(host.substr(host.size() - entry.size()), entry))
            return true;
    }
    return false;
}

SEnvProxies ReadEnvProxies(const std::function<const char*(const char*)>& getenv) {
    auto read = [&](const char* lower, const char* upper) {
        const char* v = getenv(lower);
        if ((!v || !*v) && upper) v = getenv(upper);
        return std::string(v ? v : "");
    };
    SEnvProxies env;
    env.http = read("http_proxy", nullptr);
    env.https = read("https_proxy", "HTTPS_PROXY");
    env.ftp = read("ftp_proxy", "FTP_PROXY");
    env.noProxy = read("no_proxy", "NO_PROXY");
    return env;
}

std::optional<SProxyAddress> EnvProxyFor(const SEnvProxies& env, std::string_view url) {
    const std::string* proxy = StartsWithNoCase(url, "https://") ? &env.https
                               : StartsWithNoCase(url, "http://") ? &env.http
                               : StartsWithNoCase(url, "ftp://")  ? &env.ftp
                                                                  : nullptr;
    if (!proxy || proxy->empty()) return std::nullopt;
    if (MatchesNoProxy(HostOf(url), env.noProxy)) return std::nullopt;
    return ParseProxyAddress(*proxy);
}

}  // namespace plover
