#pragma once
// Cookies as pure rules: reading and writing a line of a Netscape cookies.txt file (the format
// browsers' export add-ons, curl and wget read and write), reading a Set-Cookie answer, and
// deciding which cookies go with a request.
//
// A cookie belongs to a domain: host-only (sent to that host alone; the file's flag FALSE, or a
// Set-Cookie without Domain) or a domain cookie (sent to the domain and every host below it). It
// is sent when its domain matches the request's host, its path is the request path or a folder
// above it, it is not secure or the request is https, and it has not expired.
//
// Where cookies do not belong they are refused, whatever the input says: a Set-Cookie for a
// domain the answering host does not lie in, a domain cookie for a public suffix ("com",
// "co.uk": every site below would get it), a domain cookie for an IP address, a secure cookie set
// over plain http, a name and value longer than kMaxCookieBytes, control characters. A file line
// that is broken in any way is skipped. Lifetimes given by a server are bounded to
// kMaxCookieLifetime.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plover {

class CPublicSuffixList;

inline constexpr size_t kMaxCookieBytes = 4096;                  // name and value together
inline constexpr int64_t kMaxCookieLifetime = 400LL * 24 * 3600;  // seconds

struct SCookie {
    std::string domain;     // lower-case, no leading dot
    bool hostOnly = true;   // only this host, not the hosts below it
    std::string path = "/";
    bool secure = false;    // https only
    bool httpOnly = false;  // kept for the file ("#HttpOnly_"); Plover has no scripts to hide it from
    int64_t expires = 0;    // seconds since 1970; 0: a session cookie, gone with the run
    std::string name, value;
    bool operator==(const SCookie&) const = default;
};

// Where a request goes (or an answer came from).
struct SCookieOrigin {
    std::string host;  // lower-case
    std::string path;  // the path of the address, without its query ("/" when empty)
    bool secure = false;
};

// A line of a cookies.txt file: DOMAIN, INCLUDE-SUBDOMAINS, PATH, SECURE, EXPIRES, NAME, VALUE
// separated by tabs ("#HttpOnly_" before the domain marks an HttpOnly cookie). nullopt for
// comments, blank and broken lines, and for cookies no site may have (see above).
std::optional<SCookie> ParseCookieFileLine(std::string_view line, const CPublicSuffixList& suffixes);
std::string FormatCookieFileLine(const SCookie& cookie);

// A Set-Cookie value answered by `origin` at time `now` (seconds since 1970). nullopt when it is
// broken or does not belong to the origin. An expired cookie (Max-Age=0, a past Expires) comes
// back with expires < now: it deletes the cookie of the same name, domain and path.
std::optional<SCookie> ParseSetCookie(std::string_view header, const SCookieOrigin& origin, int64_t now,
                                      const CPublicSuffixList& suffixes);

// The host is an IPv4 address (domain cookies never apply to one).
bool IsIpAddress(std::string_view host);
bool DomainMatches(std::string_view host, const SCookie& cookie);
bool PathMatches(std::string_view requestPath, std::string_view cookiePath);
// The path a cookie without Path gets: the request path up to its last "/" ("/" when that is the
// first character or there is none).
std::string DefaultCookiePath(std::string_view requestPath);
// Whether the cookie goes with a request to `origin` at `now`.
bool CookieApplies(const SCookie& cookie, const SCookieOrigin& origin, int64_t now);

}  // namespace plover
