#include "platform/url_split.h"

#include <cctype>

namespace plover {
namespace {

struct SSchemeInfo {
    const char* name;
    uint32_t service;
    uint16_t defaultPort;
};

constexpr SSchemeInfo kSchemes[] = {
    {"ftp", kServiceFtp, 21},      {"gopher", kServiceGopher, 70}, {"http", kServiceHttp, 80},
    {"https", kServiceHttps, 443}, {"file", kServiceFile, 0},      {"mailto", kServiceMailto, 0},
};

bool IsSchemeChar(char c, bool first) {
    unsigned char u = static_cast<unsigned char>(c);
    if (std::isalpha(u)) return true;
    return !first && (std::isdigit(u) || c == '+' || c == '-' || c == '.');
}

bool IsServerChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u != 0x7f;
}

// Reads "[host]" or "host" and an optional ":port" from the authority's host part.
bool SplitHostPort(std::string_view hp, SUrlParts& out) {
    std::string_view host = hp, port;
    if (!hp.empty() && hp.front() == '[') {
        size_t close = hp.find(']');
        if (close == std::string_view::npos) return false;
        host = hp.substr(0, close + 1);
        std::string_view rest = hp.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            out.hasPort = true;
        }
    } else if (size_t colon = hp.rfind(':'); colon != std::string_view::npos) {
        host = hp.substr(0, colon);
        port = hp.substr(colon + 1);
        out.hasPort = true;
    }
    if (host.empty()) return false;
    for (char c : host)
        if (!IsServerChar(c)) return false;
    out.server.assign(host);
    if (out.hasPort) {
        if (port.empty() || port.size() > 5) return false;
        uint32_t n = 0;
        for (char c : port) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            n = n * 10 + uint32_t(c - '0');
        }
        if (n == 0 || n > 65535) return false;
        out.port = uint16_t(n);
    }
    return true;
}

}  // namespace

bool SplitUrl(std::string_view url, SUrlParts& out) {
    SUrlParts parts;
    size_t sep = url.find("://");
    if (sep == std::string_view::npos || sep == 0) return false;
    for (size_t i = 0; i < sep; ++i)
        if (!IsSchemeChar(url[i], i == 0)) return false;
    for (size_t i = 0; i < sep; ++i) parts.scheme += char(std::tolower(static_cast<unsigned char>(url[i])));
    uint16_t defaultPort = 0;
    for (const auto& s : kSchemes)
        if (parts.scheme == s.name) {
            parts.service = s.service;
            defaultPort = s.defaultPort;
        }

    std::string_view rest = url.substr(sep + 3);
    size_t authEnd = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, authEnd);
    std::string_view tail = authEnd == std::string_view::npos ? std::string_view{} : rest.substr(authEnd);

    // The login ends at the last "@" of the authority: a password may itself hold an "@".
    if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
        std::string_view login = authority.substr(0, at);
        authority = authority.substr(at + 1);
        size_t colon = login.find(':');
        parts.user.assign(login.substr(0, colon));
        if (colon != std::string_view::npos) {
            parts.password.assign(login.substr(colon + 1));
            parts.hasPassword = true;
        }
    }
    if (!SplitHostPort(authority, parts)) return false;
    if (!parts.hasPort) parts.port = defaultPort;

    size_t hash = tail.find('#');
    if (hash != std::string_view::npos) {
        parts.fragment.assign(tail.substr(hash + 1));
        tail = tail.substr(0, hash);
    }
    parts.object.assign(tail);
    if (parts.object.empty() || parts.object.front() != '/') parts.object = "/" + parts.object;
    out = std::move(parts);
    return true;
}

}  // namespace plover
