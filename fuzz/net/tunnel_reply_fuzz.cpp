// A proxy's reply to CONNECT, read by the TLS layer before the tunnel carries the handshake. It
// must not crash, and an open tunnel starts inside the bytes received.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/proxy_tunnel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    plover::STunnelReply whole = plover::ReadTunnelReply(text);
    if (whole.state == plover::STunnelReply::OPEN && (whole.headerLength == 0 || whole.headerLength > size)) std::abort();
    // Fed in growing pieces, as it arrives, the first verdict is the whole reply's verdict (an
    // over-long header is refused as soon as it is over-long).
    plover::STunnelReply first{};
    for (size_t n = 0; n <= size && first.state == plover::STunnelReply::INCOMPLETE; ++n)
        first = plover::ReadTunnelReply(text.substr(0, n));
    bool overLong = first.statusLine == "an over-long reply";
    if (!overLong && first.state != whole.state) std::abort();
    return 0;
}
