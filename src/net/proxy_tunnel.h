#pragma once
// The reply of an HTTP proxy to a CONNECT request: the status line and header, ended by an empty
// line, after which the tunnel carries the TLS stream. A 2xx status opens the tunnel; any other
// status, or a reply that is not HTTP, refuses it.
#include <cstddef>
#include <string>
#include <string_view>

namespace plover {

struct STunnelReply {
    enum State { INCOMPLETE, OPEN, REFUSED } state = INCOMPLETE;
    size_t headerLength = 0;  // OPEN: the bytes of the reply before the tunnel's first byte
    std::string statusLine;   // REFUSED: the proxy's status line (or what came instead), for the log
};

// The longest reply header taken before the proxy counts as refusing.
inline constexpr size_t kMaxTunnelReply = 16384;

STunnelReply ReadTunnelReply(std::string_view received);

}  // namespace plover
