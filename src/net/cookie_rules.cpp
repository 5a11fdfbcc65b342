#include "net/cookie_rules.h"

#include <arpa/inet.h>
#include <strings.h>

#include <charconv>

#include "net/http_date.h"
#include "net/public_suffix.h"

namespace plover {

namespace {

constexpr size_t kMaxFileLine = kMaxCookieBytes + 2048;

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
}

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trim(std::string_view s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string_view::npos) return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// A name or value that can stand in a Cookie header: no control characters, no ";" (it would
// end the pair), and for a name no "=" and no blank.
bool SafeText(std::string_view s, bool name) {
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ';') return false;
        if (name && (c == '=' || c == ' ' || c == '\t')) return false;
    }
    return true;
}

// A host name as a cookie's domain: letters, digits, "-", "_" and "." between labels.
bool SafeDomain(std::string_view d) {
    if (d.empty() || d.size() > 253 || d.front() == '.' || d.back() == '.') return false;
    for (char c : d)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')) return false;
    return d.find("..") == std::string_view::npos;
}

// A domain cookie no site may have: an IP address or a public suffix.
bool ForbiddenDomainCookie(const std::string& domain, const CPublicSuffixList& suffixes) {
    return IsIpAddress(domain) || suffixes.IsPublicSuffix(domain);
}

bool ParseFlag(std::string_view text, bool& out) {
    if (SameNoCase(text, "TRUE")) out = true;
    else if (SameNoCase(text, "FALSE")) out = false;
    else return false;
    return true;
}

}  // namespace

bool IsIpAddress(std::string_view host) {
    if (host.find(':') != std::string_view::npos) return true;  // IPv6
    in_addr address;
    return inet_pton(AF_INET, std::string(host).c_str(), &address) == 1;
}

bool DomainMatches(std::string_view host, const SCookie& cookie) {
    if (SameNoCase(host, cookie.domain)) return true;
    if (cookie.hostOnly || IsIpAddress(host) || host.size() <= cookie.domain.size()) return false;
    std::string_view tail = host.substr(host.size() - cookie.domain.size());
    return host[host.size() - cookie.domain.size() - 1] == '.' && SameNoCase(tail, cookie.domain);
}

bool PathMatches(std::string_view requestPath, std::string_view cookiePath) {
    if (requestPath == cookiePath) return true;
    if (requestPath.substr(0, cookiePath.size()) != cookiePath) return false;
    return (!cookiePath.empty() && cookiePath.back() == '/') || requestPath[cookiePath.size()] == '/';
}

std::string DefaultCookiePath(std::string_view requestPath) {
    if (requestPath.empty() || requestPath[0] != '/') return "/";
    size_t last = requestPath.rfind('/');
    return last == 0 ? "/" : std::string(requestPath.substr(0, last));
}

bool CookieApplies(const SCookie& cookie, const SCookieOrigin& origin, int64_t now) {
    if (cookie.expires != 0 && cookie.expires <= now) return false;
    if (cookie.secure && !origin.secure) return false;
    return DomainMatches(origin.host, cookie) && PathMatches(origin.path.empty() ? "/" : origin.path, cookie.path);
}

std::optional<SCookie> ParseCookieFileLine(std::string_view line, const CPublicSuffixList& suffixes) {
    if (line.size() > kMaxFileLine) return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    SCookie c;
    constexpr std::string_view kHttpOnly = "#HttpOnly_";
    if (line.substr(0, kHttpOnly.size()) == kHttpOnly) {
        c.httpOnly = true;
        line.remove_prefix(kHttpOnly.size());
    }
    if (line.empty() || line[0] == '#') return std::nullopt;
    std::string_view fields[7];
    size_t count = 0, pos = 0;
    while (count < 7) {
        size_t tab = count < 6 ? line.find('\t', pos) : std::string_view::npos;
        fields[count++] = line.substr(pos, tab == std::string_view::npos ? std::string_view::npos : tab - pos);
        if (tab == std::string_view::npos) break;
        pos = tab + 1;
    }
    if (count < 6) return std::nullopt;  // the value may be missing; nothing else may
    std::string_view domain = fields[0];
    if (!domain.empty() && domain[0] == '.') domain.remove_prefix(1);
    c.domain = Lower(domain);
    bool subdomains = false;
    int64_t expires = 0;
    auto [end, ec] = std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), expires);
    if (!SafeDomain(c.domain) || !ParseFlag(fields[1], subdomains) || !ParseFlag(fields[3], c.secure) ||
        ec != std::errc() || end != fields[4].data() + fields[4].size() || expires < 0)
        return std::nullopt;
    c.hostOnly = !subdomains;
    c.path = std::string(fields[2].empty() ? std::string_view("/") : fields[2]);
    c.expires = expires;
    c.name = std::string(fields[5]);
    c.value = std::string(fields[6]);
    if (c.path[0] != '/' || !SafeText(c.path, false) || c.name.empty() || !SafeText(c.name, true) ||
        !SafeText(c.value, false) || c.name.size() + c.value.size() > kMaxCookieBytes)
        return std::nullopt;
    if (!c.hostOnly && ForbiddenDomainCookie(c.domain, suffixes)) return std::nullopt;
    return c;
}

std::string FormatCookieFileLine(const SCookie& c) {
    std::string line = c.httpOnly ? "#HttpOnly_" : "";
    line += c.hostOnly ? c.domain : "." + c.domain;
    line += c.hostOnly ? "\tFALSE\t" : "\tTRUE\t";
    line += c.path;
    line += c.secure ? "\tTRUE\t" : "\tFALSE\t";
    line += std::to_string(c.expires) + "\t" + c.name + "\t" + c.value;
    return line;
}

std::optional<SCookie> ParseSetCookie(std::string_view header, const SCookieOrigin& origin, int64_t now,
                                      const CPublicSuffixList& suffixes) {
    if (header.size() > kMaxFileLine || origin.host.empty()) return std::nullopt;
    size_t semicolon = header.find(';');
    std::string_view pair = header.substr(0, semicolon);
    size_t equals = pair.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    SCookie c;
    c.name = std::string(Trim(pair.substr(0, equals)));
    c.value = std::string(Trim(pair.substr(equals + 1)));
    if (c.name.empty() || !SafeText(c.name, true) || !SafeText(c.value, false) ||
        c.name.size() + c.value.size() > kMaxCookieBytes)
        return std::nullopt;

    std::optional<int64_t> maxAge, expires;
    std::string domain;
    bool havePath = false;
    std::string_view rest = semicolon == std::string_view::npos ? std::string_view() : header.substr(semicolon + 1);
    while (!rest.empty()) {
        size_t next = rest.find(';');
        std::string_view attribute = rest.substr(0, next);
        rest = next == std::string_view::npos ? std::string_view() : rest.substr(next + 1);
        size_t eq = attribute.find('=');
        std::string_view key = Trim(attribute.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(attribute.substr(eq + 1));
        if (SameNoCase(key, "expires")) {
            expires = ParseHttpDate(value);
        } else if (SameNoCase(key, "max-age")) {
            bool negative = !value.empty() && value[0] == '-';
            std::string_view digits = negative ? value.substr(1) : value;
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) continue;
            // Any number of digits: a long one only means "as long as allowed".
            int64_t seconds = digits.size() > 12 ? kMaxCookieLifetime : std::stoll(std::string(digits));
            maxAge = negative ? 0 : seconds;
        } else if (SameNoCase(key, "domain")) {
            if (!value.empty() && value[0] == '.') value.remove_prefix(1);
            if (!value.empty()) domain = Lower(value);
        } else if (SameNoCase(key, "path")) {
            if (!value.empty() && value[0] == '/' && SafeText(value, false)) {
                c.path = std::string(value);
                havePath = true;
            }
        } else if (SameNoCase(key, "secure")) {
            c.secure = true;
        } else if (SameNoCase(key, "httponly")) {
            c.httpOnly = true;
        }
    }
    if (!havePath) c.path = DefaultCookiePath(origin.path);
    if (c.secure && !origin.secure) return std::nullopt;  // plain http may not set what https keeps

    std::string host = Lower(origin.host);
    if (domain.empty() || domain == host) {
        c.domain = host;
        c.hostOnly = true;
    } else {
        if (!SafeDomain(domain) || ForbiddenDomainCookie(domain, suffixes)) return std::nullopt;
        c.domain = domain;
        c.hostOnly = false;
        if (!DomainMatches(host, c)) return std::nullopt;  // another site's cookie
    }
    if (!SafeDomain(c.domain) && !IsIpAddress(c.domain)) return std::nullopt;

    // Max-Age wins over Expires; an expired cookie deletes (expires 1: long past, not a session).
    std::optional<int64_t> lifetime;
    if (maxAge) lifetime = *maxAge;
    else if (expires) lifetime = *expires - now;
    if (lifetime) c.expires = *lifetime <= 0 ? 1 : now + std::min(*lifetime, kMaxCookieLifetime);
    return c;
}

}  // namespace plover
