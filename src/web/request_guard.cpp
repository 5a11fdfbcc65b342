#include "web/request_guard.h"

namespace plover::web {

std::vector<std::string> AllowedHosts(const std::string& listenHost, int port) {
    std::string p = ":" + std::to_string(port);
    std::vector<std::string> hosts;
    if (listenHost == "127.0.0.1" || listenHost == "localhost" || listenHost.empty())
        hosts = {"127.0.0.1" + p, "localhost" + p};
    else
        hosts = {listenHost + p};
    return hosts;
}

bool HostAllowed(const std::string& host, const std::vector<std::string>& allowed) {
    for (const std::string& a : allowed)
        if (host == a) return true;
    return false;
}

bool OriginAllowed(const std::string& origin, const std::vector<std::string>& allowed) {
    if (origin.empty()) return true;
    for (const std::string& a : allowed)
        if (origin == "http://" + a) return true;
    return false;
}

std::string CookieValue(const std::string& header, const std::string& name) {
    size_t pos = 0;
    while (pos < header.size()) {
        size_t end = header.find(';', pos);
        if (end == std::string::npos) end = header.size();
        size_t start = header.find_first_not_of(' ', pos);
        if (start < end) {
            std::string pair = header.substr(start, end - start);
            size_t eq = pair.find('=');
            if (eq != std::string::npos && pair.compare(0, eq, name) == 0 && eq == name.size())
                return pair.substr(eq + 1);
        }
        pos = end + 1;
    }
    return "";
}

std::string BearerToken(const std::string& authorization) {
    const std::string prefix = "Bearer ";
    return authorization.compare(0, prefix.size(), prefix) == 0 ? authorization.substr(prefix.size()) : "";
}

bool TokenEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string TokenCookie(const std::string& token) {
    return std::string(kTokenCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict";
}

}  // namespace plover::web

namespace plover::web {

bool ParseListenAddress(const std::string& text, std::string& host, int& port) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size() || text.size() - colon - 1 > 5) return false;
    std::string h = text.substr(0, colon);
    long p = 0;
    for (size_t i = colon + 1; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        p = p * 10 + (text[i] - '0');
    }
    if (p > 65535) return false;
    if (h != "localhost") {
        int parts = 0, value = -1, digits = 0;
        for (size_t i = 0; i <= h.size(); ++i) {
            if (i == h.size() || h[i] == '.') {
                if (digits == 0 || value > 255) return false;
                ++parts;
                value = -1;
                digits = 0;
            } else if (h[i] >= '0' && h[i] <= '9' && digits < 3) {
                value = (value < 0 ? 0 : value * 10) + (h[i] - '0');
                ++digits;
            } else {
                return false;
            }
        }
        if (parts != 4) return false;
    }
    host = h == "localhost" ? "127.0.0.1" : h;
    port = int(p);
    return true;
}

bool IsLoopbackHost(const std::string& host) { return host.rfind("127.", 0) == 0 || host == "localhost"; }

}  // namespace plover::web
