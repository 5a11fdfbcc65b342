#pragma once
// Who may talk to the server. The browser is a hostile neighbour: any page it shows may send
// requests to a local port. So every request must carry the instance's secret token (the cookie
// the first visit set, or an "Authorization: Bearer" header for programs), name the listening
// address as its Host (against DNS rebinding) and, when it has an Origin, come from that same
// address (against cross-site requests). Pure rules, tested as tables.
#include <string>
#include <vector>

namespace plover::web {

inline constexpr const char* kTokenCookie = "plover_token";

// The Host values that name this server: "127.0.0.1:PORT" and "localhost:PORT" on loopback, and
// the listening address itself with its port.
std::vector<std::string> AllowedHosts(const std::string& listenHost, int port);
bool HostAllowed(const std::string& host, const std::vector<std::string>& allowed);
// An empty Origin (same-origin navigation, programs) passes; otherwise it must be
// "http://" plus an allowed host.
bool OriginAllowed(const std::string& origin, const std::vector<std::string>& allowed);
// The value of one cookie in a Cookie header ("" when absent).
std::string CookieValue(const std::string& header, const std::string& name);
// The token of "Bearer TOKEN" ("" otherwise).
std::string BearerToken(const std::string& authorization);
// Compares in time independent of where the first difference lies.
bool TokenEquals(const std::string& a, const std::string& b);
// The Set-Cookie value that keeps the token in the page.
std::string TokenCookie(const std::string& token);

}  // namespace plover::web

namespace plover::web {

// "ADDR:PORT" of --listen: a dotted IPv4 address (or "localhost") and a port 0 to 65535.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);
// Whether an address is the loopback one (no warning needed).
bool IsLoopbackHost(const std::string& host);

}  // namespace plover::web
