#include "net/proxy_tunnel.h"

#include <algorithm>
#include <cctype>

namespace plover {
namespace {

// "HTTP/1.x 2yz ..." (digits checked, the reason phrase not).
bool IsSuccessStatusLine(std::string_view line) {
    if (line.size() < 12 || line.substr(0, 5) != "HTTP/" || line[8] != ' ') return false;
    for (size_t i = 9; i < 12; ++i)
        if (!std::isdigit(static_cast<unsigned char>(line[i]))) return false;
    return line[9] == '2' && (line.size() == 12 || line[12] == ' ');
}

}  // namespace

STunnelReply ReadTunnelReply(std::string_view received) {
    STunnelReply reply;
    size_t end = received.find("\r\n\r\n");
    size_t skip = 4;
    if (size_t bare = received.find("\n\n"); bare != std::string_view::npos && (end == std::string_view::npos || bare < end)) {
        end = bare;
        skip = 2;
    }
    if (end == std::string_view::npos) {
        if (received.size() < kMaxTunnelReply) return reply;
        reply.state = STunnelReply::REFUSED;
        reply.statusLine = "an over-long reply";
        return reply;
    }
    std::string_view line = received.substr(0, std::min(received.find('\n'), end));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsSuccessStatusLine(line)) {
        reply.state = STunnelReply::OPEN;
        reply.headerLength = end + skip;
        return reply;
    }
    reply.state = STunnelReply::REFUSED;
    for (char c : line.substr(0, 200)) reply.statusLine += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    return reply;
}

}  // namespace plover
