#pragma once
// The URL splitter: "scheme://[user[:password]@]server[:port][/path][?query][#fragment]" into its
// parts, the service that the scheme names, and the port (the scheme's default when none is
// written: 80 for http, 21 for ftp, 443 for https). The object is the path with its query, "/"
// when the address has no path; the fragment is kept apart because it is never sent to a server.
// A pure function: no name lookup, no percent-decoding (callers decode where their rules say so).
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

// Service numbers of the platform's URL parser; the download parts test 1 (FTP) and 3 (HTTP).
enum EUrlService : uint32_t {
    kServiceFtp = 1,
    kServiceGopher = 2,
    kServiceHttp = 3,
    kServiceHttps = 4,
    kServiceFile = 5,
    kServiceMailto = 6,
    kServiceUnknown = 0x1000,
};

struct SUrlParts {
    uint32_t service = kServiceUnknown;
    std::string scheme;    // lower-cased, without "://"
    std::string user;      // empty when the address names none
    std::string password;  // empty when none; hasPassword tells an empty one from none
    bool hasPassword = false;
    std::string server;    // host name or address; an IPv6 address keeps its brackets
    uint16_t port = 0;     // the written port, or the scheme's default (0 when it has none)
    bool hasPort = false;  // a port was written in the address
    std::string object;    // path and query, at least "/"
    std::string fragment;  // text after "#", without it
};

// False for text that is not an absolute address with a server: no "scheme://", an empty or
// malformed scheme, an empty server, a port that is not a number from 1 to 65535, or control
// characters or spaces in the scheme or the server.
bool SplitUrl(std::string_view url, SUrlParts& out);

}  // namespace plover
