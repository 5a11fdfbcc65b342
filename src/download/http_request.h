#pragma once
// The request a worker sends, built from a request descriptor: an HTTP/1.0 GET that ends its
// connection, or, when the worker can keep the connection for the next request, an HTTP/1.1 GET
// with "Connection: keep-alive" (whose answer may then come in chunks).
// Three kinds: the plain request (the probe: no range), the ranged request (a section, or the
// whole file of a single-stream download from byte 0) and the whole-file request (never a range).
// Through an HTTP proxy the request line carries the absolute address instead of the path.
#include <cstdint>
#include <string>
#include <string_view>

#include "download/download_config.h"

namespace plover {

enum EHttpRequestKind : uint32_t {
    HTTP_REQUEST_PLAIN = 1,   // the probe
    HTTP_REQUEST_RANGED = 2,  // a section: "Range" unless its end is 0xFFFFFFFF (unknown size)
    HTTP_REQUEST_WHOLE = 3,   // the whole-file flag: never a range
};

struct SHttpRequest {
    uint32_t kind = HTTP_REQUEST_PLAIN;
    std::string server;    // host name, also sent as "Host" (with ":port" when the port is not the default)
    std::string object;    // request path
    uint16_t port = 80;    // of the address; written into "Host" and a proxy's absolute address unless default
    std::string referrer;  // the page that referred to the file; empty for none
    bool viaProxy = false; // the HTTP proxy is in use: the request line names the absolute address
    bool login = false;    // send "Authorization" with user and password
    std::string user;
    std::string password;
    uint32_t rangeStart = 0;
    uint32_t rangeEnd = 0;
    int32_t service = SERVICE_HTTP;    // SERVICE_FTP: an FTP address fetched through the HTTP proxy;
                                       // SERVICE_HTTPS: sent inside TLS (a proxy's tunnel: no absolute address)
    std::string ifModifiedSince;      // empty for none
    std::string userAgent;            // empty: the program's classic identity
    std::string cookie;               // the Cookie header's value; empty for none
    bool keepAlive = false;           // HTTP/1.1, asking to keep the connection
};

// Standard Base64 with "=" padding. With lineLength > 0 a CR LF follows every lineLength output
// characters and ends the text (never two in a row), the form of a mail-style encoder.
std::string Base64Encode(std::string_view bytes, size_t lineLength = 0);

// Which request a worker sends: the whole-file flag gives HTTP_REQUEST_WHOLE, the probe
// HTTP_REQUEST_PLAIN, every other worker (a section, also 0..0 of a one-byte file, or the one
// stream of a single-stream download) HTTP_REQUEST_RANGED.
uint32_t ChooseRequestKind(bool wholeFile, bool probe);

// The complete request text, ending with the empty line.
std::string BuildHttpRequest(const SHttpRequest& request);

// The request that asks the HTTP proxy for a tunnel to server:port (https through the proxy).
std::string BuildConnectRequest(const std::string& server, uint16_t port);

}  // namespace plover
